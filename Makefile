# The two commands a new user needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?= --output-on-failure -j $(JOBS)

.PHONY: all build demo test test-plain test-asan bench clean valgrind

all: build

$(BUILD)/build.ninja $(BUILD)/Makefile:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Only the program: the demo needs neither the tests nor the other tools.
demo: | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target kesto
	$(BUILD)/kesto -FET SIM -a 0 -d 3 -info +ebpv examples/blink/blink.elf +r $(BUILD)/readout.hex

test: test-plain test-asan

test-plain: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_ARGS)

# Terminal figures (idle CPU, latency, throughput, memory), beside picocom's when it is installed;
# then the programming pass and start-up on the simulator, beside mspdebug's when it is installed.
bench: | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target kesto_bench kesto_pass_bench
	./$(BUILD)/kesto_bench
	./$(BUILD)/kesto_pass_bench

# The whole test suite under valgrind's memcheck, every kesto run it starts included (programs
# of the system it runs are left out). Each process writes its own report; an error or a leak in
# any of them fails the target. The floods scale down when KESTO_UNDER_VALGRIND is set.
VALGRIND_LOGS := $(abspath $(BUILD))/valgrind
VALGRIND_FLAGS := --leak-check=full --error-exitcode=1 --trace-children=yes \
	--trace-children-skip='/bin/*,/usr/bin/*,/usr/sbin/*' \
	--suppressions=$(CURDIR)/tests/valgrind.supp --log-file=$(VALGRIND_LOGS)/%p.log
valgrind: build
	rm -rf $(VALGRIND_LOGS) && mkdir -p $(VALGRIND_LOGS)
	@KESTO_UNDER_VALGRIND=1 valgrind $(VALGRIND_FLAGS) ./$(BUILD)/kesto_tests; status=$$?; \
	failed=$$(grep -l 'ERROR SUMMARY: [1-9]' $(VALGRIND_LOGS)/*.log); \
	for log in $$failed; do cat $$log; done; \
	echo "valgrind: $$(ls $(VALGRIND_LOGS) | wc -l) processes, $$(grep -l 'ERROR SUMMARY: 0 errors' $(VALGRIND_LOGS)/*.log | wc -l) checked to the end, $$(echo $$failed | wc -w) with errors (reports in $(VALGRIND_LOGS))"; \
	test $$status -eq 0 && test -z "$$failed"

# libFuzzer targets (clang with AddressSanitizer and UndefinedBehaviorSanitizer), each run for
# FUZZ_SECONDS; prints executions and findings per target and fails when any target found one.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
.PHONY: fuzz
fuzz:
	cmake -S . -B $(FUZZ_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DKESTO_FUZZ=ON -DKESTO_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target kesto_fuzzers
	fuzz/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Line coverage per source file: the whole suite in a build with gcov's counters, then gcovr.
COVERAGE_BUILD ?= build-coverage
.PHONY: coverage
coverage:
	@command -v gcovr >/dev/null || { echo "make coverage needs gcovr (apt-get install gcovr)"; exit 1; }
	cmake -S . -B $(COVERAGE_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTO_COVERAGE=ON
	find $(COVERAGE_BUILD) -name '*.gcda' -delete
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	cd $(COVERAGE_BUILD) && ctest $(CTEST_ARGS)
	gcovr --root . --filter src/ --exclude-unreachable-branches --print-summary $(COVERAGE_BUILD) | tee $(COVERAGE_BUILD)/coverage.txt

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(COVERAGE_BUILD)

# Installs under $(PREFIX) (default /usr/local); DESTDIR stages it elsewhere, as packagers do.
PREFIX ?= /usr/local
.PHONY: install package
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/package/*.deb
