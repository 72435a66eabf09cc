#!/bin/sh
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) straight from the sources into build/fuzz/, then
# for each target:
#   1. replays its regression inputs (tests/fuzz/regressions/TARGET/) and its
#      seed corpus once;
#   2. fuzzes it for SECONDS seconds, starting from a scratch copy of the seed
#      corpus (build/fuzz/corpus/TARGET/), so the repository is not touched.
# Exits non-zero when any target finds something (a crash, a sanitizer report,
# a broken property, a hang of more than 10 s); the input that did it is kept
# in build/fuzz/artifacts/TARGET/ and the log in build/fuzz/logs/TARGET.log.
#
# Usage: sh tests/fuzz/run.sh [SECONDS]     (default 60; 0 only replays)
#        FUZZ_TARGETS="fixed_record preamble" sh tests/fuzz/run.sh 30
set -u

seconds=${1:-60}
case $seconds in
    ''|*[!0-9]*) echo "usage: sh tests/fuzz/run.sh [SECONDS]" >&2; exit 2 ;;
esac

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/build/fuzz
cxx=${FUZZ_CXX:-clang++}
targets=${FUZZ_TARGETS:-"fixed_record free_record control_file preamble"}

# Longest input per target: a few dozen data lines; header lines need more
# than 100 characters; a control file is short.
max_len_of() {
    case $1 in
        fixed_record|free_record) echo 4096 ;;
        control_file) echo 1024 ;;
        preamble) echo 8192 ;;
        *) echo 4096 ;;
    esac
}

mkdir -p "$out" || exit 1

# ------------------------------------------------------------------ compiler
probe_compiler() {
    command -v "$cxx" > /dev/null 2>&1 || return 1
    printf '%s\n' '#include <cstddef>' '#include <cstdint>' \
        'extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }' \
        > "$out/probe.cpp"
    "$cxx" -std=c++20 -fsanitize=fuzzer,address,undefined "$out/probe.cpp" -o "$out/probe" \
        > "$out/probe.log" 2>&1
}

if ! probe_compiler; then
    if command -v "$cxx" > /dev/null 2>&1; then
        echo "fuzz: $cxx cannot build a libFuzzer target; trying to install the runtime"
    else
        echo "fuzz: $cxx not found; trying to install clang"
    fi
    if ! command -v apt-get > /dev/null 2>&1; then
        echo "fuzz: no apt-get here; install clang with its libFuzzer runtime (Debian: clang libclang-rt-dev)" >&2
        exit 1
    fi
    if ! apt-get update -qq; then
        echo "fuzz: apt-get update failed (no network, or not root?); install clang libclang-rt-dev by hand" >&2
        exit 1
    fi
    # libclang-rt-dev holds libFuzzer and the sanitizer runtimes on Debian 12;
    # older releases ship them with clang itself.
    if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-dev; then
        if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang; then
            echo "fuzz: apt-get install clang failed; install clang with its libFuzzer runtime by hand" >&2
            exit 1
        fi
    fi
    if ! probe_compiler; then
        if command -v "$cxx" > /dev/null 2>&1; then
            echo "fuzz: $cxx still cannot build a libFuzzer target:" >&2
            cat "$out/probe.log" >&2
        else
            echo "fuzz: $cxx still not found after installing clang" >&2
        fi
        exit 1
    fi
fi
rm -f "$out/probe" "$out/probe.cpp" "$out/probe.log"

# --------------------------------------------------------------------- build
flags="-std=c++20 -ffp-contract=off -O1 -g -fno-omit-frame-pointer -fno-sanitize-recover=all"
mkdir -p "$out/obj" "$out/logs" || exit 1
echo "fuzz: building with $($cxx --version | head -n 1)"
objects=""
for src in "$root"/common/*.cpp "$root"/orientation/*.cpp; do
    dir=$(basename "$(dirname "$src")")
    obj=$out/obj/${dir}_$(basename "$src" .cpp).o
    # shellcheck disable=SC2086
    if ! "$cxx" $flags -I"$root" -fsanitize=fuzzer-no-link,address,undefined -c "$src" -o "$obj"; then
        echo "fuzz: compiling $src failed" >&2
        exit 1
    fi
    objects="$objects $obj"
done
for target in $targets; do
    src=$here/${target}_fuzz.cpp
    if [ ! -f "$src" ]; then
        echo "fuzz: no target $target ($src)" >&2
        exit 2
    fi
    # shellcheck disable=SC2086
    if ! "$cxx" $flags -I"$root" -fsanitize=fuzzer,address,undefined "$src" $objects -o "$out/$target"; then
        echo "fuzz: building $target failed" >&2
        exit 1
    fi
done

# ----------------------------------------------------------------------- run
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=""
for target in $targets; do
    max_len=$(max_len_of "$target")
    log=$out/logs/$target.log
    artifacts=$out/artifacts/$target/
    scratch=$out/corpus/$target
    # The targets' own temporary files go here (a run that crashes cannot
    # clean up after itself), and are removed after the target.
    tmp=$out/tmp/$target
    rm -rf "$scratch" "$artifacts" "$tmp"
    mkdir -p "$scratch" "$artifacts" "$tmp" || exit 1
    if [ -d "$here/corpus/$target" ]; then
        cp "$here/corpus/$target"/* "$scratch"/ 2> /dev/null
    fi
    options="-max_len=$max_len -timeout=10 -rss_limit_mb=2048 -artifact_prefix=$artifacts -dict=$here/triangle.dict"

    # Known findings and the seeds, each run once.
    replay=""
    for f in "$here/regressions/$target"/* "$scratch"/*; do
        [ -f "$f" ] && replay="$replay $f"
    done
    if [ -n "$replay" ]; then
        # shellcheck disable=SC2086
        if ! TMPDIR=$tmp "$out/$target" $options $replay > "$log.replay" 2>&1; then
            echo "fuzz: $target: FAILED replaying the regression and seed inputs (log: $log.replay)"
            grep -E 'property broken|ERROR|runtime error|Running: ' "$log.replay" | tail -n 5
            failed="$failed $target"
            rm -rf "$tmp"
            continue
        fi
    fi
    if [ "$seconds" -eq 0 ]; then
        echo "fuzz: $target: replay passed"
        rm -rf "$tmp"
        continue
    fi

    echo "fuzz: $target: fuzzing for $seconds s (max_len $max_len)"
    # shellcheck disable=SC2086
    if TMPDIR=$tmp "$out/$target" $options -max_total_time="$seconds" -print_final_stats=1 "$scratch" > "$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n 1)
        echo "fuzz: $target: no finding ($runs runs, $cov, corpus $(find "$scratch" -type f | wc -l) inputs)"
    else
        echo "fuzz: $target: FINDING (log: $log)"
        grep -E 'property broken|ERROR|runtime error|SUMMARY' "$log" | head -n 5
        find "$artifacts" -type f | sed 's|^|  input kept: |'
        failed="$failed $target"
    fi
    rm -rf "$tmp"
done

if [ -n "$failed" ]; then
    echo "fuzz: findings in:$failed" >&2
    exit 1
fi
echo "fuzz: all targets passed"
