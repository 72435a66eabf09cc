#!/bin/sh
# Draws a binned report of quorvel as a PNG with gnuplot:
#   top:    mean velocity against mean curvature, one point per bin, the
#           standard deviation of the velocity as error bars, the point size
#           growing with the number of triangles in the bin;
#   bottom: the number of triangles in each bin, against the same curvature.
# Empty bins (NaN) and bins with a field that overflowed (asterisks) are left
# out.
#
# Usage: sh examples/plot.sh REPORT [OUT.png]
#   REPORT   a binned report, such as a_cnd_binned.txt
#   OUT.png  default: REPORT with _binned.txt replaced by _binned.png
#            (REPORT.png for other names)
#
# Needs gnuplot (Debian: apt-get install gnuplot-nox).
set -u

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: sh examples/plot.sh REPORT [OUT.png]" >&2
    exit 2
fi
report=$1
case $report in
    *_binned.txt) default_out=${report%_binned.txt}_binned.png ;;
    *) default_out=$report.png ;;
esac
out=${2:-$default_out}

if ! command -v gnuplot > /dev/null 2>&1; then
    echo "plot: gnuplot not found; install it (Debian: apt-get install gnuplot-nox) and run again" >&2
    exit 1
fi
if [ ! -f "$report" ] || [ ! -r "$report" ]; then
    echo "plot: cannot read the report $report" >&2
    exit 1
fi

data=$(mktemp "${TMPDIR:-/tmp}/plot-bins.XXXXXX") || exit 1
script=$(mktemp "${TMPDIR:-/tmp}/plot-script.XXXXXX") || { rm -f "$data"; exit 1; }
trap 'rm -f "$data" "$script" "$script.summary" "$script.err"' EXIT
trap 'exit 1' HUP INT TERM

# The bin lines follow the column header. Fields by column: 1-6 upper edge,
# 9-14 mean curvature, 17-22 mean velocity, 25-31 number, 36-41 standard
# deviation. Written out: edge, curvature, velocity, number, std dev.
awk -v data="$data" '
    { sub(/\r$/, "") }
    /^bin +curv +vel +number +std_dev/ { header = 1; next }
    /^# initial file: / && name == "" {
        name = substr($0, 17); sub(/ +$/, "", name)
    }
    !header { next }
    {
        lines++
        edge = substr($0, 1, 6); curv = substr($0, 9, 6); vel = substr($0, 17, 6)
        count = substr($0, 25, 7); sd = substr($0, 36, 6)
        all = edge curv vel count sd
        if (length($0) < 41 || all ~ /\*/ || all ~ /NaN/) { skipped++; next }
        if (count + 0 <= 0) { skipped++; next }
        printf "%s %s %s %d %s\n", edge + 0, curv + 0, vel + 0, count + 0, sd + 0 > data
        kept++
    }
    END {
        if (!header) { print "plot: no column header \"bin     curv    vel ...\": not a binned report" > "/dev/stderr"; exit 3 }
        if (kept == 0) { print "plot: no bin with triangles to draw (empty bins and overflowed fields are left out)" > "/dev/stderr"; exit 4 }
        printf "%s\t%d\t%d\t%d\n", name, lines, kept, skipped
    }
' "$report" > "$script.summary"
status=$?
summary=$(cat "$script.summary" 2> /dev/null)
rm -f "$script.summary"
[ $status -eq 0 ] || exit 1

title=$(printf '%s' "$summary" | cut -f1)
[ -n "$title" ] || title=$(basename "$report")
kept=$(printf '%s' "$summary" | cut -f3)
skipped=$(printf '%s' "$summary" | cut -f4)

# A gnuplot string in apostrophes: an apostrophe is written twice.
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/''/g")"; }

if gnuplot -e 'set terminal pngcairo' > /dev/null 2>&1; then
    terminal="pngcairo size 900,800 font 'Sans,10'"
else
    terminal="png size 900,800"
fi

cat > "$script" <<EOF
set terminal $terminal
set output $(quote "$out")
set encoding utf8
stats $(quote "$data") using 4 nooutput
nmax = STATS_max
set multiplot title $(quote "quorvel bins of $title: $kept bins with triangles, $skipped empty or overflowed left out") noenhanced
set lmargin 12
set rmargin 4
set grid
set key top left box opaque noenhanced Left reverse

set origin 0, 0.32
set size 1, 0.63
set xlabel 'mean curvature |curvature| of the bin'
set ylabel 'mean velocity |velocity|'
plot $(quote "$data") using 2:3:5 with yerrorbars lc rgb '#7f7f7f' pt -1 title 'standard deviation', \
     '' using 2:3:(0.5 + 2.5 * sqrt(\$4 / nmax)) with points pt 7 ps variable lc rgb '#1f5fbf' \
        title sprintf('mean velocity (point size: number of triangles, at most %d)', nmax)

set origin 0, 0
set size 1, 0.32
set title ''
set xlabel 'mean curvature |curvature| of the bin'
set ylabel 'triangles in the bin'
set yrange [0:*]
set key off
plot $(quote "$data") using 2:4 with impulses lw 3 lc rgb '#1f5fbf'
unset multiplot
EOF

if ! gnuplot "$script" 2> "$script.err"; then
    echo "plot: gnuplot failed:" >&2
    cat "$script.err" >&2
    rm -f "$script.err"
    exit 1
fi
rm -f "$script.err"
echo "plot: $out ($kept bins drawn, $skipped left out)"
