#!/bin/sh
# Builds the property fuzz target with clang (libFuzzer, ASan, UBSan) into
# build/fuzz/, replays tests/fuzz/corpus/ (seeds and kept findings), then
# fuzzes for SECONDS seconds from a scratch copy of it. Fails on any finding;
# the input is kept in build/fuzz/artifacts/. Installs clang with its
# libFuzzer runtime (Debian: clang libclang-rt-dev) when it is missing.
#
# Usage: sh tests/fuzz/run.sh [SECONDS]     (default 60)
set -u
seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/build/fuzz
cxx=${FUZZ_CXX:-clang++}
flags="-std=c++20 -ffp-contract=off -O1 -g -fno-omit-frame-pointer -fno-sanitize-recover=all -I$root"
mkdir -p "$out/artifacts" "$out/corpus" || exit 1

# clang with its libFuzzer runtime, installed when missing.
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' > "$out/probe.cpp"
"$cxx" -fsanitize=fuzzer "$out/probe.cpp" -o "$out/probe" > /dev/null 2>&1 ||
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq clang libclang-rt-dev; } ||
    { echo "fuzz: cannot get clang with libFuzzer; install clang libclang-rt-dev by hand" >&2; exit 1; }

# shellcheck disable=SC2086
"$cxx" $flags -fsanitize=fuzzer,address,undefined "$here/property_fuzz.cpp" "$root"/common/*.cpp \
    "$root"/orientation/*.cpp -o "$out/property_fuzz" || { echo "fuzz: build failed" >&2; exit 1; }

options="-max_len=4096 -timeout=10 -rss_limit_mb=2048 -artifact_prefix=$out/artifacts/"
# shellcheck disable=SC2086
"$out/property_fuzz" $options "$here"/corpus/* > "$out/replay.log" 2>&1 ||
    { echo "fuzz: FAILED replaying tests/fuzz/corpus (log: $out/replay.log)"; exit 1; }
rm -rf "$out/corpus" && mkdir -p "$out/corpus" && cp "$here"/corpus/* "$out/corpus/"
# shellcheck disable=SC2086
"$out/property_fuzz" $options -max_total_time="$seconds" "$out/corpus" > "$out/fuzz.log" 2>&1 &&
    { echo "fuzz: no finding in $seconds s ($(grep -Eo 'cov: [0-9]+' "$out/fuzz.log" | tail -n 1))"; exit 0; }
echo "fuzz: FINDING (log: $out/fuzz.log); once fixed, keep the input of $out/artifacts/ in tests/fuzz/corpus/"
grep -E 'property broken|ERROR|runtime error' "$out/fuzz.log" | head -n 5
exit 1
