#!/bin/sh
# Benchmark of quorvel and dremmick against the cost of reading their input.
#
# Usage: sh bench/run.sh BUILD_DIR N        (make bench: N = 2000000,
#                                            make bench-large: N = 10000000)
# With BASELINE=DIR set (a folder holding other builds of quorvel and
# dremmick, say those of the last release), every run of a program alternates
# with a run of the baseline's on the same file, the order swapped from run to
# run, and the figures compare the two: median time ratio (target <= 1.03),
# peak memory, and outputs identical byte for byte. RUNS (5) sets the runs.
#
# 1. Builds the two helpers (bench/gen_bench_data.cpp, bench/bench_timer.cpp)
#    with $CXX (default g++) into BUILD_DIR/bench-data/, and generates there a
#    fixed-width file and a raw free-form file of N records each.  Tools and
#    data are kept and rebuilt only when their source changes (a hash of the
#    source is stored beside them).
# 2. In BUILD_DIR/bench-run/, times quorvel on the fixed-width file and
#    dremmick on the raw file (limits 0.5 and 1.5), 5 runs each, alternating
#    with wc -l on the same file, and prints median wall time, MB/s, the ratio
#    to wc -l and the peak resident memory beside the targets.
#    Beside quorvel, the Python module's read_fixed on the same file (when
#    the module is built), timed inside its process around the call alone.
#    quorvel makes three passes over its file (line count, pass 1, pass 2), so
#    one pass takes about (quorvel - wc -l) / 2; the mark for read_fixed, which
#    counts the lines and then reads them once, is twice that.
# 3. Checks exactness: quorvel's binned report is the same in every run and
#    accounts for all N records; dremmick's summary matches the counts the
#    generator computed; quorvel reads dremmick's conditioned file to the end;
#    the module's bin_curvature and condition give what the programs give.
# 4. Times the module's disorientation on 1,000,000 cubic pairs against a
#    straightforward numpy implementation (bench/disorientation_bench.py),
#    and checks that they agree.
#
# Exit status: 0 when every run and every check succeeded (a missed timing
# target is reported, not fatal), 1 otherwise.
set -u

RUNS=${RUNS:-5}
TARGET_BASELINE=1.03
CURV_LIMIT=0.5
VEL_LIMIT=1.5
TARGET_QUORVEL=4.5
TARGET_DREMMICK=12
TARGET_RSS_MIB=8
TARGET_READ=2    # read_fixed within twice one quorvel pass
PYTHON=/usr/bin/python3

if [ $# -ne 2 ]; then
    echo "usage: sh bench/run.sh BUILD_DIR N" >&2
    exit 2
fi
case $2 in
    ''|*[!0-9]*) echo "bench: N must be a number of records, not '$2'" >&2; exit 2 ;;
esac
n=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -x "$1/bin/quorvel" ] || [ ! -x "$1/bin/dremmick" ]; then
    echo "bench: $1/bin/quorvel or $1/bin/dremmick missing; build first (make)" >&2
    exit 1
fi
build=$(cd "$1" && pwd)
bin=$build/bin
data=$build/bench-data
work=$build/bench-run
mkdir -p "$data" "$work" || exit 1

# The Python module, when it is built.
module=""
if ls "$build"/python/triangle_tools*.so > /dev/null 2>&1 && [ -x "$PYTHON" ]; then
    module=$here/module_check.py
fi
pymodule() {  # pymodule ARGS...: bench/module_check.py with the module built here
    PYTHONPATH=$build/python "$PYTHON" "$module" "$@"
}

cxx=${CXX:-g++}
command -v "$cxx" > /dev/null 2>&1 || cxx=c++

die() {
    echo "bench: $*" >&2
    exit 1
}

hash_of() {
    if command -v sha256sum > /dev/null 2>&1; then
        sha256sum "$1" | cut -d ' ' -f 1
    else
        cksum "$1" | cut -d ' ' -f 1,2
    fi
}

# build_tool NAME: compiles bench/NAME.cpp to $data/NAME unless up to date.
build_tool() {
    src=$here/$1.cpp
    h=$(hash_of "$src")
    if [ ! -x "$data/$1" ] || [ "$(cat "$data/$1.hash" 2>/dev/null)" != "$h" ]; then
        echo "building $1"
        "$cxx" -O2 -std=c++17 -o "$data/$1.tmp" "$src" || die "cannot compile $src"
        mv "$data/$1.tmp" "$data/$1" && echo "$h" > "$data/$1.hash" || exit 1
    fi
}

build_tool gen_bench_data
build_tool bench_timer
gen_hash=$(cat "$data/gen_bench_data.hash")

# generate KIND FILE: (re)writes FILE unless it was made by this generator.
generate() {
    if [ ! -f "$2" ] || [ "$(cat "$2.stamp" 2>/dev/null)" != "$gen_hash" ]; then
        echo "generating $2"
        rm -f "$2" "$2.stamp" "$2.expected"
        "$data/gen_bench_data" "$1" "$n" "$2.tmp" > "$2.expected.tmp" || die "generator failed"
        mv "$2.tmp" "$2" && mv "$2.expected.tmp" "$2.expected" && echo "$gen_hash" > "$2.stamp" || exit 1
    fi
}

fixed=$data/fixed_$n.txt
raw=$data/raw_$n.txt
generate fixed "$fixed"
generate raw "$raw"

failed=0
check() {  # check OK-CONDITION-STATUS MESSAGE
    if [ "$1" -eq 0 ]; then
        echo "  ok      $2"
    else
        echo "  FAILED  $2"
        failed=1
    fi
}

# timed DIR TAG COMMAND...: one timed run in DIR; appends "seconds kib cpu" to
# DIR/TAG.times, the command's output in DIR/TAG.out and DIR/TAG.err.
timed() {
    dir=$1
    tag=$2
    shift 2
    res=$(cd "$dir" && "$data/bench_timer" "$tag.out" "$tag.err" "$@") || die "timer failed"
    set -- $res
    if [ "$3" -ne 0 ]; then
        echo "bench: $tag in $dir exited with status $3; last lines of $tag.err:" >&2
        tail -n 5 "$dir/$tag.err" >&2
        exit 1
    fi
    echo "$1 $2 $4" >> "$dir/$tag.times"
}

# stats FILE: "median min max peak_kib cpu_median" of the runs in FILE.
stats() {
    cpu=$(sort -n -k 3 "$1" | awk '{ c[NR] = $3 } END { print c[int((NR + 1) / 2)] }')
    sort -n "$1" | awk -v cpu="$cpu" '{ t[NR] = $1; if ($2 > m) m = $2 }
        END { printf "%.6f %.6f %.6f %d %.6f\n", t[int((NR + 1) / 2)], t[1], t[NR], m, cpu }'
}

# table PROG FILE TARGET: prints the figures of PROG and of wc -l on FILE.
table() {
    bytes=$(wc -c < "$2")
    set -- "$1" "$2" "$3" $(stats "$dir/$1.times") $(stats "$dir/wc.times")
    # $4..$8 program median min max kib cpu; $9..$13 wc -l median min max kib cpu
    awk -v prog="$1" -v bytes="$bytes" -v target="$3" -v rsst="$TARGET_RSS_MIB" \
        -v pm="$4" -v plo="$5" -v phi="$6" -v pk="$7" -v pc="$8" \
        -v wm="$9" -v wlo="${10}" -v whi="${11}" -v wk="${12}" -v wc="${13}" '
    BEGIN {
        ratio = pm / wm
        printf "  %-10s %9s %9s %9s %9s %9s %12s %9s\n", "", "median", "min", "max", "MB/s", "x wc -l", "peak RSS", "CPU"
        printf "  %-10s %8.3fs %8.3fs %8.3fs %9.1f %9.1f %8.1f MiB %8.3fs\n", prog, pm, plo, phi, bytes / pm / 1e6, ratio, pk / 1024, pc
        printf "  %-10s %8.3fs %8.3fs %8.3fs %9.1f %9.1f %8.1f MiB %8.3fs\n", "wc -l", wm, wlo, whi, bytes / wm / 1e6, 1, wk / 1024, wc
        printf "  %-10s %9s %9s %9s %9s %9s %12s\n", "target", "", "", "", "", "<= " target, "<= " rsst " MiB"
        printf "  time target %s, memory target %s; CPU-time ratio %.1f; spread (max-min)/median %.0f%% (%s), %.0f%% (wc -l)\n",
            ratio <= target ? "met" : "MISSED", pk / 1024 <= rsst ? "met" : "MISSED", pc / wc,
            100 * (phi - plo) / pm, prog, 100 * (whi - wlo) / wm
    }'
}

# baseline_run PROG RESULT: with BASELINE set, one timed run of the baseline's
# PROG in $dir, the checksums of its outputs kept. Its result file RESULT, and
# the one before it, are removed, so that no run has another's in the cache.
baseline_run() {
    [ -n "${BASELINE:-}" ] || return 0
    rm -f "$dir/$2"
    timed "$dir" "baseline_$1" "$BASELINE/$1"
    cksum < "$dir/$2" >> "$dir/baseline_result.cksum"
    cksum < "$dir/baseline_$1.out" >> "$dir/baseline_stdout.cksum"
    rm -f "$dir/$2"
}

# baseline_table PROG CKSUMS: with BASELINE set, PROG against the baseline's;
# CKSUMS holds the checksums of PROG's result files.
baseline_table() {
    [ -n "${BASELINE:-}" ] || return 0
    set -- "$1" "$2" $(stats "$dir/$1.times") $(stats "$dir/baseline_$1.times")
    awk -v prog="$1" -v base="$BASELINE/$1" -v target="$TARGET_BASELINE" -v pm="$3" -v pk="$6" -v bm="$8" -v bk="${11}" 'BEGIN {
        printf "  against %s in the same runs: median %.3fs vs %.3fs, ratio %.3f (target <= %s: %s); peak RSS %.1f vs %.1f MiB\n",
            base, pm, bm, pm / bm, target, pm / bm <= target ? "met" : "MISSED", pk / 1024, bk / 1024 }'
    [ "$(sort -u "$dir/baseline_result.cksum")" = "$(sort -u "$dir/$2")" ] &&
        [ "$(sort -u "$dir/baseline_stdout.cksum")" = "$(sort -u "$dir/stdout.cksum")" ]
    check $? "result file and standard output identical to the baseline's in every run"
}

# Sum of the "number" column of a binned report.
binned_total() {
    awk '/^bin / { on = 1; next } on && NF == 5 { s += $4 } END { printf "%d\n", s }' "$1"
}

echo
echo "machine: $(nproc 2>/dev/null || echo ?) cores, $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -n 1)"
echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"

# ------------------------------------------------------------------ quorvel
dir=$work/quorvel
rm -rf "$dir" && mkdir -p "$dir" || exit 1
ln -s "$fixed" "$dir/bench_fixed.txt" && echo "bench_fixed.txt" > "$dir/input.txt" || exit 1
cat "$fixed" > /dev/null
i=1
while [ $i -le $RUNS ]; do
    timed "$dir" wc wc -l bench_fixed.txt
    [ $(((RUNS - i) % 2)) -eq 0 ] && baseline_run quorvel bench_fixed_binned.txt  # ours last in the last run
    rm -f "$dir/bench_fixed_binned.txt"
    timed "$dir" quorvel "$bin/quorvel"
    cksum < "$dir/bench_fixed_binned.txt" >> "$dir/report.cksum"
    cksum < "$dir/quorvel.out" >> "$dir/stdout.cksum"
    [ $(((RUNS - i) % 2)) -eq 1 ] && baseline_run quorvel bench_fixed_binned.txt
    if [ -n "$module" ]; then
        (cd "$dir" && pymodule time bench_fixed.txt >> read_fixed.times) || die "read_fixed failed"
    fi
    i=$((i + 1))
done
echo
echo "quorvel on $n fixed-width records ($(wc -c < "$fixed") bytes), $RUNS runs alternating with wc -l:"
table quorvel "$fixed" "$TARGET_QUORVEL"
baseline_table quorvel report.cksum
if [ -n "$module" ]; then
    q_median=$(stats "$dir/quorvel.times" | cut -d ' ' -f 1)
    w_median=$(stats "$dir/wc.times" | cut -d ' ' -f 1)
    r_median=$(sort -n "$dir/read_fixed.times" | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
    awk -v q="$q_median" -v w="$w_median" -v r="$r_median" -v target="$TARGET_READ" 'BEGIN {
        pass = (q - w) / 2
        printf "  Python read_fixed, same runs: median %.3fs (the call alone); one quorvel pass (%.3fs - %.3fs) / 2 = %.3fs\n", r, q, w, pass
        printf "  read_fixed / one pass %.2f, target <= %s: %s\n", r / pass, target, r / pass <= target ? "met" : "MISSED" }'
    pymodule bins "$fixed" "$dir/bench_fixed_binned.txt" > "$dir/bins.check"
    status=$?
    check $status "$(cat "$dir/bins.check")"
else
    echo "  Python read_fixed: not timed, the module is not built (make test installs its packages)"
fi
q_rss=$(stats "$dir/quorvel.times" | cut -d ' ' -f 4)
[ "$(sort -u "$dir/report.cksum" | wc -l)" -eq 1 ] && [ "$(sort -u "$dir/stdout.cksum" | wc -l)" -eq 1 ]
check $? "binned report and standard output identical in all $RUNS runs"
total=$(binned_total "$dir/bench_fixed_binned.txt")
[ "$total" = "$n" ]
check $? "binned report accounts for every record ($total of $n)"

# ----------------------------------------------------------------- dremmick
dir=$work/dremmick
rm -rf "$dir" && mkdir -p "$dir" || exit 1
ln -s "$raw" "$dir/bench_raw.txt" || exit 1
printf 'bench_raw.txt\n%s\n%s\n' "$CURV_LIMIT" "$VEL_LIMIT" > "$dir/input.txt" || exit 1
cat "$raw" > /dev/null
i=1
while [ $i -le $RUNS ]; do
    timed "$dir" wc wc -l bench_raw.txt
    [ $(((RUNS - i) % 2)) -eq 0 ] && baseline_run dremmick bench_raw_cnd.txt
    rm -f "$dir/bench_raw_cnd.txt"
    timed "$dir" dremmick "$bin/dremmick"
    cksum < "$dir/bench_raw_cnd.txt" >> "$dir/cnd.cksum"
    cksum < "$dir/dremmick.out" >> "$dir/stdout.cksum"
    [ $(((RUNS - i) % 2)) -eq 1 ] && baseline_run dremmick bench_raw_cnd.txt
    i=$((i + 1))
done
echo
echo "dremmick on $n raw records ($(wc -c < "$raw") bytes), limits $CURV_LIMIT and $VEL_LIMIT, $RUNS runs alternating with wc -l:"
table dremmick "$raw" "$TARGET_DREMMICK"
baseline_table dremmick cnd.cksum
d_rss=$(stats "$dir/dremmick.times" | cut -d ' ' -f 4)
[ "$(sort -u "$dir/cnd.cksum" | wc -l)" -eq 1 ]
check $? "conditioned file identical in all $RUNS runs"
got=$(awk '$1 == "high_val=" { c = $2 } $1 == "high_vel=" { v = $2 } $1 == "blank" { b = $2 }
           /final number of lines =/ { f = $NF }
           END { printf "blank=%s high_val=%s high_vel=%s final=%s\n", b, c, v, f }' "$dir/dremmick.out")
expected=$(cat "$raw.expected")
[ "$got" = "$expected" ]
check $? "summary as generated: $got"
final=${expected##*final=}
records=$(grep -c -v '#' "$dir/bench_raw_cnd.txt")
bad=$(grep -v '#' "$dir/bench_raw_cnd.txt" | awk 'length($0) != 96' | wc -l)
[ "$records" = "$final" ] && [ "$bad" -eq 0 ]
check $? "conditioned file holds $records records of 96 characters (expected $final)"

if [ -n "$module" ]; then
    pymodule condition "$raw" "$dir/bench_raw_cnd.txt" "$CURV_LIMIT" "$VEL_LIMIT" "$dir/dremmick.out" \
        > "$dir/condition.check"
    status=$?
    check $status "$(cat "$dir/condition.check")"
fi

# Chain: quorvel must read dremmick's conditioned file to the end.
echo "bench_raw_cnd.txt" > "$dir/input.txt"
res=$(cd "$dir" && "$data/bench_timer" quorvel_chain.out quorvel_chain.err "$bin/quorvel") || die "timer failed"
set -- $res
total=$(binned_total "$dir/bench_raw_cnd_binned.txt" 2>/dev/null)
[ "$3" -eq 0 ] && [ "$total" = "$final" ]
check $? "quorvel reads the conditioned file to the end (exit $3, $total records binned, $(printf '%.3f' "$1") s)"

# ----------------------------------------------------------- disorientation
# The module's disorientation on 1,000,000 cubic pairs against numpy (every
# pair of operators, broadcast) on 50,000 of them, in the same process.
if [ -n "$module" ]; then
    echo
    PYTHONPATH=$build/python "$PYTHON" "$here/disorientation_bench.py" 1000000 50000 > "$work/disorientation.out"
    status=$?
    sed '$d' "$work/disorientation.out"
    check $status "$(tail -n 1 "$work/disorientation.out" | sed 's/^ *//')"
fi

# --------------------------------------------------------------- boundaries
# Grouping 10,000,000 faces into 100,000 boundaries on one core.
if [ -n "$module" ]; then
    echo
    PYTHONPATH=$build/python "$PYTHON" "$here/boundaries_bench.py" 10000000 100000 > "$work/boundaries.out"
    status=$?
    sed '$d' "$work/boundaries.out"
    check $status "$(tail -n 1 "$work/boundaries.out" | sed 's/^ *//')"
fi

# ------------------------------------------------------------------- memory
echo "$q_rss $d_rss" > "$work/rss_$n.txt"
for other in "$work"/rss_*.txt; do
    m=${other##*/rss_}
    m=${m%.txt}
    [ "$m" = "$n" ] && continue
    set -- $(cat "$other")
    msg=$(awk -v m="$m" -v n="$n" -v a="$1" -v b="$2" -v c="$q_rss" -v d="$d_rss" 'BEGIN {
        printf "peak RSS flat within 1 MiB: %s records %.1f/%.1f MiB, %s records %.1f/%.1f MiB (quorvel/dremmick)",
            m, a / 1024, b / 1024, n, c / 1024, d / 1024 }')
    awk -v a="$1" -v b="$2" -v c="$q_rss" -v d="$d_rss" 'BEGIN {
        dq = (c - a) / 1024; dd = (d - b) / 1024
        if (dq < 0) dq = -dq
        if (dd < 0) dd = -dd
        exit !(dq <= 1 && dd <= 1) }'
    check $? "$msg"
done

echo
echo "data:    $data"
echo "runs:    $work (program output in *.out, timings in *.times)"
exit $failed
