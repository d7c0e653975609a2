# Quality gates beyond the unit tests: benchmarks against their targets, fuzzing of the
# core, and the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer.
.PHONY: bench fuzz fuzz-short test-sanitize

BENCH_BUILD    ?= build-release
FUZZ_BUILD     ?= build-fuzz
SANITIZE_BUILD ?= build-sanitize
FUZZ_SECONDS   ?= 60
FUZZ_MAX_LEN   ?= 1024

# Figures are only meaningful from an optimised build. Tests stay on: benchmarks of the whole
# program reuse the test support (pseudo-terminals).
bench: deps
	cmake -S . -B $(BENCH_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DADC_BUILD_TESTS=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	bench/run-bench $(BENCH_BUILD)/bench

# The fuzzer grows its corpus in the build directory; the seeds in fuzz/corpus stay as they are.
fuzz: deps
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=clang++ -DADC_CORE_ONLY=ON -DADC_FUZZ=ON -DADC_BUILD_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target reception_fuzzer
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/findings
	cp -n fuzz/corpus/* $(FUZZ_BUILD)/corpus/
	$(FUZZ_BUILD)/fuzz/reception_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$(FUZZ_MAX_LEN) \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/findings/ $(FUZZ_BUILD)/corpus

fuzz-short:
	$(MAKE) fuzz FUZZ_SECONDS=30

# Leaks that belong to system libraries go in cmake/lsan.supp, named one by one, so a leak in
# our own code still fails the run. Tests labelled `timing` bound CPU or wall time, which the
# sanitizers' own start-up and bookkeeping distort, so they are left to the plain build.
SANITIZE_CTEST_ARGS ?= --label-exclude timing
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$(CURDIR)/cmake/lsan.supp:print_suppressions=0

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DADC_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(SANITIZE_ENV) ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS) \
	    $(SANITIZE_CTEST_ARGS)
