# Every target installs what it needs first (scripts/install-deps.sh is idempotent).
# Builds go to build/ (tests and the program), build-sanitize/, build-thread/ and build-fuzz/;
# check-memory runs the programs of build/ under valgrind.

JOBS          ?= $(shell nproc)
BUILD_TYPE    ?= RelWithDebInfo
FUZZ_SECONDS  ?= 60
CMAKE_FLAGS   ?=
CTEST_FLAGS   ?= --output-on-failure -j $(JOBS) --timeout 600

SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
                LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
                UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
                TSAN_OPTIONS=suppressions=$(CURDIR)/scripts/tsan.supp:halt_on_error=1:second_deadlock_stack=1
# Under a sanitizer tesselon-grab takes up to a minute for each clip of the clip
# matrix: those cases run in make test, and under valgrind in check-memory. So
# does the run of twenty whole grabs under GNU parallel, and so do the whole
# runs of the command-line writers killed, interrupted, limited and sharing a
# folder (the file writing they share runs in process in the files tests); the
# grab's code runs in process in the other grab tests. The 100-frame batches of
# 1280 × 720 and PAL video at their own size take minutes under a sanitizer; the
# own-size batch of the small index clip runs the same code.
SANITIZER_CTEST_FLAGS = -E 'ClipMatrix/MatrixClipGrab|ParallelGrab|OutputSafety|UnderAFileSizeLimit|BySignal|Clips/OwnSizeBatch'

.PHONY: all deps build test run check-sanitize check-thread check-memory fuzz clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)
	cmake --build build -j $(JOBS)

test: build
	ctest --test-dir build $(CTEST_FLAGS)

run: build
	@scripts/run.sh build

check-sanitize: deps
	cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DTESSELON_SANITIZE=address,undefined -DTESSELON_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-sanitize -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir build-sanitize $(CTEST_FLAGS) $(SANITIZER_CTEST_FLAGS)

check-thread: deps
	cmake -S . -B build-thread -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DTESSELON_SANITIZE=thread -DTESSELON_BENCH=OFF $(CMAKE_FLAGS)
	cmake --build build-thread -j $(JOBS)
	$(SANITIZER_ENV) ctest --test-dir build-thread $(CTEST_FLAGS) $(SANITIZER_CTEST_FLAGS)

check-memory: build
	scripts/check-memory.sh build

fuzz: deps
	cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_CXX_COMPILER=clang++ -DTESSELON_CODEC_ONLY=ON -DTESSELON_FUZZ=ON
	cmake --build build-fuzz -j $(JOBS)
	scripts/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)

clean:
	rm -rf build build-sanitize build-thread build-fuzz
