# The two commands a new user needs: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
GENERATOR  := $(shell command -v ninja >/dev/null 2>&1 && echo "-G Ninja")
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
CTEST_ARGS ?= --output-on-failure -j $(JOBS)

.PHONY: all build demo test test-plain test-asan bench clean valgrind vendor-library

all: build

$(BUILD)/build.ninja $(BUILD)/Makefile:
	cmake -S . -B $(BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

# Only the program: the demo needs neither the tests nor the other tools. It programs the
# example into the simulated board and talks to it over the board's UART (F5 resets the board,
# F9 programs it again, F10 leaves). Without a terminal on standard input no key can end the
# session, so it then ends by itself after a few seconds.
DEMO_TIMEOUT := $(shell [ -t 0 ] || echo "-timeout 10")
demo: | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target kesto
	$(BUILD)/kesto SIM -FET SIM -baud 9600 -a 0 +ebpv examples/blink/blink.elf $(DEMO_TIMEOUT)

test: test-plain test-asan

test-plain: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan:
	cmake -S . -B $(ASAN_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_ARGS)

# The vendor's FET library for Linux (libmsp430.so), built from the chip maker's published source
# of its debug stack and put beside build/kesto, where kesto looks first. Built once per machine:
# the result is kept in ~/.cache/kesto.
vendor-library: build
	@test -n "$(VENDOR_SOURCE)" || { echo "Name the debug stack's source folder: make vendor-library VENDOR_SOURCE=<folder>"; exit 2; }
	@built=$$(tools/build_vendor_library.sh "$(VENDOR_SOURCE)") && cp "$$built" $(BUILD)/libmsp430.so && \
	  echo "$(BUILD)/libmsp430.so: the vendor's library, beside $(BUILD)/kesto"

# Terminal figures (idle CPU, latency, throughput, memory), beside picocom's when it is installed;
# then the programming pass and start-up on the simulator, beside mspdebug's when it is installed;
# then the virtual board's CPU on a busy loop, against a 16 MHz chip, and what the board costs its
# host, sleeping and busy; last the programming pass through the chip maker's own library on the
# virtual LaunchPad (kesto-board) beside the same pass on the simulator.
bench: | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target kesto_bench kesto_pass_bench kesto_cpu_bench kesto_board_bench \
	  kesto_launchpad_bench
	./$(BUILD)/kesto_bench
	./$(BUILD)/kesto_pass_bench
	./$(BUILD)/kesto_cpu_bench
	./$(BUILD)/kesto_board_bench
	./$(BUILD)/kesto_launchpad_bench

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
	tools/run_fuzzers.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Line coverage per source file: the whole suite in a build with gcov's counters, then gcovr.
COVERAGE_BUILD ?= build-coverage
.PHONY: coverage
coverage:
	@command -v gcovr >/dev/null || { echo "make coverage needs gcovr (apt-get install gcovr)"; exit 1; }
	cmake -S . -B $(COVERAGE_BUILD) $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug -DKESTO_COVERAGE=ON
	find $(COVERAGE_BUILD) \( -name '*.gcda' -o -name gcov-errors.txt \) -delete
	cmake --build $(COVERAGE_BUILD) -j $(JOBS)
	@# libgcov reports a counter file it cannot merge (one a run under a size limit cut short) on the
	@# program's own stderr, where it would be taken for the program's output: into a file with it.
	cd $(COVERAGE_BUILD) && GCOV_ERROR_FILE=$(abspath $(COVERAGE_BUILD))/gcov-errors.txt ctest $(CTEST_ARGS)
	@[ ! -s $(COVERAGE_BUILD)/gcov-errors.txt ] || { echo "libgcov's complaints:"; sort -u $(COVERAGE_BUILD)/gcov-errors.txt; }
	@# The simulator's exports are built once for each generation of the library, with other functions
	@# on the same lines, which gcovr 5 cannot merge: the original generation's counts are left out.
	gcovr --root . --filter src/ --exclude-unreachable-branches --print-summary \
	  --exclude-directories '.*kesto_sim_shared_original\.dir.*' $(COVERAGE_BUILD) | tee $(COVERAGE_BUILD)/coverage.txt

# How many small faults the suite catches: MUTANTS mutants sampled (seeded) over MUTATE_PATHS,
# each built incrementally in a scratch copy of the tree under build-mutate/ and run against the
# suite; prints the survivors and the score. Slow, so neither part of `make test` nor of CI.
MUTANTS      ?= 60
SEED         ?= 1
MUTATE_PATHS ?= src
.PHONY: mutate
mutate:
	python3 tools/mutate.py --mutants $(MUTANTS) --seed $(SEED) --paths $(MUTATE_PATHS) --work build-mutate

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD) $(COVERAGE_BUILD) $(WIN_BUILD) $(WIN32_BUILD) build-mutate

# Installs under $(PREFIX) (default /usr/local); DESTDIR stages it elsewhere, as packagers do.
PREFIX ?= /usr/local
.PHONY: install package
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB
	@ls $(BUILD)/package/*.deb

# Windows: kesto.exe cross-built with MinGW-w64 (64-bit in $(WIN_BUILD), 32-bit in
# $(WIN32_BUILD) for 32-bit copies of MSP430.dll) and tested under Wine, in a prefix of its own.
WIN_BUILD   ?= build-win
WIN32_BUILD ?= build-win32
WIN_TOOLCHAIN   := $(CURDIR)/cmake/toolchain-mingw-x86_64.cmake
WIN32_TOOLCHAIN := $(CURDIR)/cmake/toolchain-mingw-i686.cmake
WIN_GTEST   := $(abspath $(WIN_BUILD))/gtest
WIN32_GTEST := $(abspath $(WIN32_BUILD))/gtest
WINEPREFIX_DIR := $(abspath $(WIN_BUILD))/wine
# No Wine debug output, no offer to fetch Mono or Gecko, no windows.
WINE_ENV := WINEPREFIX=$(WINEPREFIX_DIR) WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
VERSION := $(shell awk '/^project/ {print $$3}' CMakeLists.txt)

.PHONY: windows windows32 test-windows package-windows

$(WIN_BUILD)/build.ninja $(WIN_BUILD)/Makefile:
	cmake -S . -B $(WIN_BUILD) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTO_TESTS=OFF

$(WIN32_BUILD)/build.ninja $(WIN32_BUILD)/Makefile:
	cmake -S . -B $(WIN32_BUILD) $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=$(WIN32_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTO_TESTS=OFF

windows: | $(WIN_BUILD)/build.ninja
	cmake --build $(WIN_BUILD) -j $(JOBS) --target kesto kesto_sim_shared

windows32: | $(WIN32_BUILD)/build.ninja
	cmake --build $(WIN32_BUILD) -j $(JOBS) --target kesto kesto_sim_shared

# GoogleTest for MinGW, from the sources Debian ships, once for each processor.
$(WIN_GTEST)/lib/cmake/GTest/GTestConfig.cmake: GTEST_TOOLCHAIN := $(WIN_TOOLCHAIN)
$(WIN32_GTEST)/lib/cmake/GTest/GTestConfig.cmake: GTEST_TOOLCHAIN := $(WIN32_TOOLCHAIN)
%/gtest/lib/cmake/GTest/GTestConfig.cmake:
	cmake -S /usr/src/googletest -B $*/googletest $(GENERATOR) -DCMAKE_TOOLCHAIN_FILE=$(GTEST_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=Release -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX=$*/gtest
	cmake --build $*/googletest -j $(JOBS)
	cmake --install $*/googletest > /dev/null

# Both builds are tested, kesto.exe (64-bit) and the 32-bit one shipped as kesto32.exe: the
# portable unit tests under Wine, then the end-to-end suite (driven by a Linux program from
# $(BUILD)) against the libraries built for that processor; each build is handed the other's
# simulator for the test of a library of the wrong width. One Wine server runs for the whole of
# it, its services started before anything else: the test discovery at build time runs Wine
# too. Now and then a Wine process does not end after its test has passed; a test that times
# out so gets one more run.
WIN_TEST_CONFIG := $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTO_TESTS=ON \
  -DKESTO_WINE_E2E=$(abspath $(BUILD))/kesto_wine_e2e
WIN_CTEST := $(WINE_ENV) ctest $(CTEST_ARGS) --repeat after-timeout:2 --test-dir
test-windows: $(WIN_GTEST)/lib/cmake/GTest/GTestConfig.cmake $(WIN32_GTEST)/lib/cmake/GTest/GTestConfig.cmake \
  | $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target kesto_wine_e2e
	cmake -S . -B $(WIN_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) $(WIN_TEST_CONFIG) \
	  -DGTest_DIR=$(WIN_GTEST)/lib/cmake/GTest -DKESTO_OTHER_SIM_DLL=$(abspath $(WIN32_BUILD))/simlib/MSP430.dll
	cmake -S . -B $(WIN32_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(WIN32_TOOLCHAIN) $(WIN_TEST_CONFIG) \
	  -DGTest_DIR=$(WIN32_GTEST)/lib/cmake/GTest -DKESTO_OTHER_SIM_DLL=$(abspath $(WIN_BUILD))/simlib/MSP430.dll
	@mkdir -p $(WINEPREFIX_DIR)
	$(WINE_ENV) wineserver -p > $(WIN_BUILD)/wineserver.log 2>&1 || true  # one may run already
	@# Wine's services start with the first program of a server's life and inherit its output;
	@# started here, they cannot hold the test discovery's pipe open and make it wait.
	$(WINE_ENV) wine wineboot > $(WIN_BUILD)/wineboot.log 2>&1
	@status=0; \
	$(WINE_ENV) cmake --build $(WIN_BUILD) -j $(JOBS) && $(WINE_ENV) cmake --build $(WIN32_BUILD) -j $(JOBS) && \
	$(WIN_CTEST) $(WIN_BUILD) && $(WIN_CTEST) $(WIN32_BUILD) || status=$$?; \
	$(WINE_ENV) wineserver -k; exit $$status

# A zip for Windows users: both builds, the README, the manual as text and the examples.
WIN_PACKAGE := kesto-$(VERSION)-windows
package-windows: windows windows32
	rm -rf $(WIN_BUILD)/package && mkdir -p $(WIN_BUILD)/package/$(WIN_PACKAGE)/examples
	x86_64-w64-mingw32-strip -o $(WIN_BUILD)/package/$(WIN_PACKAGE)/kesto.exe $(WIN_BUILD)/kesto.exe
	i686-w64-mingw32-strip -o $(WIN_BUILD)/package/$(WIN_PACKAGE)/kesto32.exe $(WIN32_BUILD)/kesto.exe
	cp README.md $(WIN_BUILD)/package/$(WIN_PACKAGE)/
	cp -r examples/. $(WIN_BUILD)/package/$(WIN_PACKAGE)/examples/
	nroff -man -Tascii doc/kesto.1 | col -bx > $(WIN_BUILD)/package/$(WIN_PACKAGE)/kesto.txt
	cd $(WIN_BUILD)/package && cmake -E tar cf $(WIN_PACKAGE).zip --format=zip $(WIN_PACKAGE)
	@cd $(WIN_BUILD)/package && cmake -E tar tf $(WIN_PACKAGE).zip
	@ls -l $(WIN_BUILD)/package/$(WIN_PACKAGE).zip
