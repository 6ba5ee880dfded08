#!/usr/bin/env bash
# Runs the media, playback, platform and grab test programs, the capture batch's
# and the saving's tests, then tesselon-grab
# on every clip of the clip matrix's subset, under valgrind's memcheck. Any
# invalid read or write, use of uninitialised memory or definite leak fails the
# run, as does a failing test. Usage: check-memory.sh BUILD_DIR
#
# Each test program runs once as a whole: valgrind starts slowly, and CTest
# would start it once per case. Logs go to BUILD_DIR/memory-logs/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
logs="$build/memory-logs"
rm -rf "$logs"
mkdir -p "$logs" "$build/test-home" "$build/test-runtime"
chmod 700 "$build/test-runtime"

# Exit status of a run in which valgrind found an error (the programs use small ones).
readonly memory_error=97
# Wide red zones: a write that runs more than the default 16 bytes past a block
# would corrupt valgrind's own heap and stop it before its report.
valgrind=(valgrind --tool=memcheck --error-exitcode=$memory_error --leak-check=full
          --errors-for-leak-kinds=definite --show-leak-kinds=definite --track-origins=no
          --redzone-size=64 --num-callers=30 --suppressions=scripts/valgrind.supp)

# As CTest runs the tests, with the subset of the clip matrix. No sound server:
# sound is real-time and valgrind is not, so the tests that need one skip.
export QT_QPA_PLATFORM=offscreen HOME="$PWD/$build/test-home" \
       XDG_RUNTIME_DIR="$PWD/$build/test-runtime" TESSELON_TEST_DATA="$PWD/tests/data" \
       TESSELON_CLIP_MATRIX_SUBSET=1 PULSE_SERVER=unix:/nonexistent

clips=$(tests/data/make-clip-matrix.sh "$build/clip-matrix" --subset --list)
[[ -n "$clips" ]] || { echo "check-memory: no clips (is ffmpeg installed?)" >&2; exit 1; }

failures=()
# check NAME COMMAND...: one program under valgrind; its output and valgrind's
# report go to NAME.out and NAME.log.
check() {
    local name=$1
    shift
    local start=$SECONDS status=0
    "${valgrind[@]}" --log-file="$logs/$name.log" "$@" >"$logs/$name.out" 2>&1 || status=$?
    local errors
    errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$logs/$name.log" | tail -1)
    [[ -n "$errors" ]] || errors="unknown (valgrind stopped before its summary)"
    echo "check-memory: $name: memory errors $errors, exit status $status, $((SECONDS - start)) s"
    if ((status != 0)); then
        failures+=("$name")
        # The report from the first error on, or why valgrind itself stopped.
        grep -v '^--' "$logs/$name.log" | sed -n '/^==[0-9]*== [A-Z]/,$p' | head -60
        tail -20 "$logs/$name.out"
    fi
}

for program in media playback platform; do
    check "${program}_tests" "$build/tests/$program/${program}_tests"
done
# The grab's whole-program runs under limits, signals and a shared folder run
# tesselon-grab as a child, which valgrind does not follow: they would only
# decode their pictures slowly here.
check "grab_tests" "$build/tests/grab/grab_tests" \
    --gtest_filter='-BoundedMemory*:*BySignal*:OutputSafety*:*UnderAFileSizeLimit*'
# The capture batch: capture, cancel and freeing in the running program. The
# case that times Cancel needs real time.
check "app_tests-capture" "$build/tests/app/app_tests" \
    --gtest_filter='CaptureBatch*:-*CancelEndsTheWait*'
# Saving: the workers, the composite and the deferred close.
check "images_tests-saving" "$build/tests/images/images_tests" --gtest_filter='Saving*:Progress*'

# 30 frames: past the end of every clip, so each grab goes on from frame 0 at
# least once; each further frame costs a tenth of a second under valgrind.
# Then a few frames sampled, as the options for many videos take them.
while read -r clip; do
    rm -rf "$logs/grab-output"
    check "tesselon-grab-$(basename "$clip")" \
        "$build/tools/tesselon-grab/tesselon-grab" --count 30 "$clip" "$logs/grab-output"
    # Sampled by frame number at the clip's own size, stamped and reported.
    check "tesselon-grab-sampled-$(basename "$clip")" \
        "$build/tools/tesselon-grab/tesselon-grab" --every 3 --count 4 --size native \
        --label "Label" --provenance --name '{src}_{frame}_{i}' \
        --report "$logs/grab-output/report.json" --out "$logs/grab-output" "$clip"
done <<<"$clips"
rm -rf "$logs/grab-output"

if ((${#failures[@]} > 0)); then
    echo "check-memory: FAILED: ${failures[*]} (logs in $logs)" >&2
    exit 1
fi
echo "check-memory: no memory errors"
