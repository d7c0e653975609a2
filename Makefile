# Single entry point: `make test` from a fresh Debian 12 machine installs, builds and tests.
BUILD     ?= build
BUILD_TYPE ?= RelWithDebInfo
JOBS      ?= $(shell nproc)
CMAKE_GEN := -G Ninja

.PHONY: all deps configure build test test-core format clean

all: build

# Installs only what is missing; a no-op once everything is there.
deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: $(BUILD)/build.ninja

build: configure
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The core alone, with no toolkit on the include path.
test-core: deps
	cmake -S . -B $(BUILD)-core $(CMAKE_GEN) -DADC_CORE_ONLY=ON
	cmake --build $(BUILD)-core -j $(JOBS)
	ctest --test-dir $(BUILD)-core --output-on-failure

# Further targets (demo, benchmarks, fuzzing, sanitizers) live beside this file, one file each.
include $(wildcard mk/*.mk)

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(BUILD)-*
