# The two commands: `make run` and `make test`. Both install missing packages first.
# `make run` builds only the program and what it reads beside itself (target lss); `make test`
# builds everything, the suites included. `make package` builds the Debian package in $(BUILD).
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
SANITIZE_BUILD ?= build-sanitize
THREAD_BUILD ?= build-thread
empty :=
space := $(empty) $(empty)

.PHONY: all deps configure build build-program run test test-reversed bench package fuzz test-sanitize test-thread clean

all: build

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program, the sample lss.dll and lawconfig.ini beside it: no suite, benchmark or package.
build-program: configure
	@cmake --build $(BUILD) -j $(JOBS) --target lss

run: build-program
	cd $(BUILD) && ./lss

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Every QtTest suite again with its test functions in reverse order: none may need its neighbours.
test-reversed: build
	@bash scripts/test-reversed $(BUILD)

package: build
	cd $(BUILD) && cpack

bench: build
	@bash bench/run.sh $(BUILD)

# Each libFuzzer target of fuzz/ for FUZZ_SECONDS; new crash inputs land in fuzz/crashes/<target>/.
fuzz: deps
	@cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	  -DCMAKE_CXX_COMPILER=clang++ -DLSS_FUZZ=ON -DLSS_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_db fuzz_csv fuzz_ini fuzz_text fuzz_conn fuzz_sql
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (GCC). Qt and the
# system libraries are not instrumented; scripts/lsan.supp names the leaks that are theirs.
test-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSS_SANITIZE=ON -DLSS_BENCH=OFF >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The suites that run statements beside the read-ahead thread, built with ThreadSanitizer (GCC).
# Qt and the system libraries are not instrumented: scripts/tsan.supp names the reports that are
# theirs. A child that QProcess forks only runs another program (die_after_fork=0 lets it). Where
# the kernel randomizes mappings more than the runtime allows, ASLR is turned off for the run.
THREAD_SUITES = test_query test_datamodule test_filechange test_largetables test_fullpages test_numbers test_textcase
test-thread: deps
	@cmake -S . -B $(THREAD_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLSS_SANITIZE=thread -DLSS_BENCH=OFF >/dev/null
	@cmake --build $(THREAD_BUILD) -j $(JOBS) --target $(THREAD_SUITES)
	cd $(THREAD_BUILD) && QT_QPA_PLATFORM=offscreen \
	  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 suppressions=$(CURDIR)/scripts/tsan.supp" \
	  $$(setarch $$(uname -m) -R true 2>/dev/null && echo setarch $$(uname -m) -R) \
	  ctest --output-on-failure -j $(JOBS) -R '^($(subst $(space),|,$(THREAD_SUITES)))$$'

# Every C++ file keeps the style of .clang-format (scripts/check-format --fix formats them).
check-format: deps
	@bash scripts/check-format

clean:
	rm -rf $(BUILD) $(FUZZ_BUILD) $(SANITIZE_BUILD) $(THREAD_BUILD)
