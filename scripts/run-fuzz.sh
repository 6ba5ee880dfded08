#!/usr/bin/env bash
# Runs every libFuzzer target in a fuzz build for a bounded time, each from its
# committed seed corpus. Usage: run-fuzz.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=$2
status=0
for seeds in fuzz/corpus/*/; do
    target=$(basename "$seeds")
    binary="$build/fuzz/$target"
    [[ -x "$binary" ]] || { echo "run-fuzz: $binary was not built" >&2; exit 1; }
    work=$(mktemp -d)
    cp -r "$seeds". "$work/"
    echo "run-fuzz: $target for ${seconds}s"
    "$binary" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$build/fuzz/$target-" "$work" || status=1
    rm -rf "$work"
done
exit $status
