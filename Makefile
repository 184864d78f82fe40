# The front door. `make test` and `make demo` work on a fresh Debian 12 machine and again on a used one.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo clean firebird

all: build

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

firebird: deps
	@if [ -x scripts/start-firebird ]; then scripts/start-firebird; fi

test: build firebird
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

demo: build
	scripts/demo

clean:
	rm -rf $(BUILD_DIR)
