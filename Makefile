# The front door. `make test` and `make demo` work on a fresh Debian 12 machine and again on a used one;
# `make check` builds and runs the unit tests alone, in seconds, with no database server.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# ON in CI: warnings are errors.
WERROR ?= OFF

.PHONY: all deps build-deps configure build check test demo clean firebird

all: build

deps:
	scripts/install-deps

build-deps:
	scripts/install-deps build

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

firebird: deps
	@if [ -x scripts/start-firebird ]; then scripts/start-firebird; fi

check: build-deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target test_unit
	cd $(BUILD_DIR) && ctest -L unit --output-on-failure -j $(JOBS)

test: build firebird
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	scripts/demo

# The Debian package, $(BUILD_DIR)/tarvel_<version>_<arch>.deb (CPack; see packaging/).
.PHONY: package
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR)
