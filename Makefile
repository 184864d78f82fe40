# The front door. `make test` and `make demo` work on a fresh Debian 12 machine and again on a used one;
# `make check` is the fast first lane: the format check, then the unit tests (the layer check among them),
# with no database server.
BUILD_DIR ?= build
JOBS ?= $(shell nproc)
# ON in CI: warnings are errors.
WERROR ?= OFF
# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer, and the libFuzzer targets.
ASAN_DIR ?= build-asan
FUZZ_DIR ?= build-fuzz
# Seconds each fuzz target runs: make fuzz; make test runs each for a few.
FUZZ_SECONDS ?= 60
# The static checks of .clang-tidy (bugprone-*, performance-*) over src/: `make tidy`. Slow (4 to 10
# minutes on two cores), so neither `make check` nor `make test` runs it; a finding fails it.
RUN_CLANG_TIDY ?= run-clang-tidy-14
# The C++ sources the format check reads, in the style of .clang-format (Debian 12's clang-format 14).
CLANG_FORMAT ?= clang-format-14
FORMATTED = $(shell find src tests -name '*.cpp' -o -name '*.h' | sort)

.PHONY: all deps build-deps configure build check format format-check test demo clean firebird firebird-stop sanitize \
  fuzz fuzz-build package tidy

all: build

deps:
	scripts/install-deps

build-deps:
	scripts/install-deps build

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=$(WERROR)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# The suite's own Firebird server, for running test programs by hand (ctest starts and stops it by
# itself): a second instance in $(BUILD_DIR)/firebird on a free port, never the machine's on 3050.
firebird: deps
	scripts/start-firebird $(BUILD_DIR)/firebird

firebird-stop:
	scripts/stop-firebird $(BUILD_DIR)/firebird

# Fails on the first file whose text clang-format would change; `make format` changes it.
format-check: build-deps
	@echo "$(CLANG_FORMAT) --dry-run -Werror: $(words $(FORMATTED)) files of src/ and tests/"
	@$(CLANG_FORMAT) --dry-run -Werror $(FORMATTED)

format: build-deps
	@echo "$(CLANG_FORMAT) -i: $(words $(FORMATTED)) files of src/ and tests/"
	@$(CLANG_FORMAT) -i $(FORMATTED)

# clang-tidy on every source of src/ with the build's compile_commands.json (the configure writes it).
tidy: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=$(WERROR)
	$(RUN_CLANG_TIDY) -p $(BUILD_DIR) -quiet -j $(JOBS) '$(CURDIR)/src/'

# The unit label holds scripts/check-layers (LayerDirection) beside the unit tests.
check: format-check
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=$(WERROR)
	cmake --build $(BUILD_DIR) -j $(JOBS) --target test_unit
	cd $(BUILD_DIR) && ctest -L unit --output-on-failure -j $(JOBS)

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) sanitize
	$(MAKE) fuzz FUZZ_SECONDS=5

# Every test in a second build folder with -fsanitize=address,undefined: any report fails its test.
sanitize: deps
	cmake -S . -B $(ASAN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_SANITIZE=ON -DTARVEL_WERROR=$(WERROR)
	cmake --build $(ASAN_DIR) -j $(JOBS)
	cd $(ASAN_DIR) && ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	cmake -S . -B $(FUZZ_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTARVEL_FUZZ=ON \
	  -DTARVEL_WERROR=$(WERROR)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target fuzz

# Each libFuzzer target for FUZZ_SECONDS from its seeds; a finding fails (scripts/run-fuzz).
fuzz: fuzz-build
	scripts/run-fuzz $(FUZZ_DIR) $(FUZZ_SECONDS)

demo: build
	scripts/demo

# The Debian package, $(BUILD_DIR)/tarvel_<version>_<arch>.deb (CPack; see packaging/).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	-scripts/stop-firebird $(BUILD_DIR)/firebird
	-scripts/stop-firebird $(ASAN_DIR)/firebird
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(FUZZ_DIR)
