# Single entry point: `make test` from a fresh Debian 12 machine installs, builds and tests.
# Every build is a preset of CMakePresets.json; `cmake --preset NAME` and `ctest --preset NAME`
# do the same by hand.
JOBS         ?= $(shell nproc)
FUZZ_SECONDS ?= 60
FUZZ_MAX_LEN ?= 1024
PREFIX       ?= /usr/local
MUTANTS      ?= 200
SEED         ?=
FILES        ?=
SINCE        ?=

.PHONY: all deps build programs test test-core test-sanitize bench fuzz fuzz-short demo run screenshot \
        install package check-package mutants format clean

all: build

# Installs only what is missing; a no-op once everything is there.
deps:
	@scripts/install-deps

# Configures once; later builds let CMake notice its own changes.
build/build.ninja: | deps
	cmake --preset default

build: build/build.ninja
	cmake --build --preset default -j $(JOBS)

# The two programs alone, for what only runs them.
programs: build/build.ninja
	cmake --build --preset default -j $(JOBS) --target adc-monitor adc-sim

test: build
	ctest --preset default -j $(JOBS)

# The core alone, with no toolkit on the include path.
test-core: deps
	cmake --preset core
	cmake --build --preset core -j $(JOBS)
	ctest --preset core -j $(JOBS)

# The whole suite under AddressSanitizer and UndefinedBehaviorSanitizer, less the tests
# labelled `timing`. Leaks that belong to system libraries go in cmake/lsan.supp.
test-sanitize: deps
	cmake --preset sanitize
	cmake --build --preset sanitize -j $(JOBS)
	ctest --preset sanitize -j $(JOBS)

# Figures are only meaningful from an optimised build.
bench: deps
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	bench/run-bench build-release/bench

# The fuzzer grows its corpus in the build directory; the seeds in fuzz/corpus stay as they
# are. What it finds lands in fuzz/findings, which every test run replays: commit it with the fix.
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	ctest --preset fuzz -j $(JOBS)
	mkdir -p build-fuzz/corpus
	cp -n fuzz/corpus/* build-fuzz/corpus/
	build-fuzz/fuzz/reception_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	    -print_final_stats=1 -artifact_prefix=fuzz/findings/ build-fuzz/corpus

fuzz-short:
	$(MAKE) fuzz FUZZ_SECONDS=30

# The monitor against the simulator, on the real port, and the README's screenshot.
demo: programs
	@BUILD=build scripts/demo

run: programs
	build/adc-monitor

screenshot: build
	xvfb-run -a -s "-screen 0 1024x768x24" scripts/screenshot docs/screenshot.png

install: build
	cmake --install build --prefix $(PREFIX)

# The Debian package, built in build-package and copied here: adc-monitor_<version>_<arch>.deb.
package: deps
	cmake --preset package
	cmake --build --preset package -j $(JOBS)
	rm -f build-package/adc-monitor_*.deb
	cpack --preset package
	cp build-package/adc-monitor_*.deb .

# What the package holds and whether Debian's checkers accept it.
check-package: package
	scripts/check-package build-package/adc-monitor_*.deb

# Which single-point faults the tests miss, tried on a sample in a copy of the tree
# (build-mutants/), never in the working tree; the report lands in build-mutants/report.txt.
mutants: deps
	scripts/mutants --mutants $(MUTANTS) --jobs $(JOBS) $(if $(SEED),--seed $(SEED)) \
	    $(if $(strip $(FILES)),--files "$(FILES)") $(if $(SINCE),--since $(SINCE))

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build build-* adc-monitor_*.deb
