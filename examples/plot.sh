#!/bin/sh
# Fits and draws a binned report of quorvel.
#
# The fit: a straight line through the origin, v = slope * kappa, fitted by
# least squares to the bin means (x = mean curvature, y = mean velocity),
# each bin weighted by its number of triangles w; empty bins are skipped.
#   slope    = sum(w x y) / sum(w x^2)
#   std err  = sqrt( sum(w (y - slope x)^2) / ((n - 1) sum(w x^2)) ),
#              n the number of bins used.
# Standard output gets exactly one line, "slope VALUE ± STDERR", so that
# scripts can take it; every other message goes to standard error.
#
# The PNG (needs gnuplot):
#   top:    mean velocity against mean curvature, one point per bin, error
#           bars of one standard deviation of the velocity in the bin (or,
#           with --sem, the standard error of the mean, std dev / sqrt(n));
#           bins of one triangle drawn as open triangles without a bar; the
#           fitted line with its slope;
#   bottom: the number of triangles in each curvature bin.
# Bins with a field that overflowed (asterisks) are left out of both.
#
# Units: from a header line of the report such as
#   # units: curvature 1/um velocity um/s
# (the data file's header lines are copied into the report), or from the
# options, which win.
#
# Usage: sh examples/plot.sh [OPTIONS] REPORT [OUT.png]
#   --sem                    error bars: standard error of the mean
#   --curvature-unit UNIT    e.g. 1/um
#   --velocity-unit UNIT     e.g. um/s
#   --fit-only               print the slope line only; draw nothing
#   OUT.png defaults to REPORT with .txt replaced by .png
set -u

usage() {
    echo "usage: sh examples/plot.sh [--sem] [--curvature-unit UNIT] [--velocity-unit UNIT] [--fit-only] REPORT [OUT.png]" >&2
    exit 2
}

sem=0; fit_only=0; cunit=''; vunit=''
while [ $# -gt 0 ]; do
    case $1 in
        --sem) sem=1 ;;
        --fit-only) fit_only=1 ;;
        --curvature-unit) [ $# -ge 2 ] || usage; cunit=$2; shift ;;
        --curvature-unit=*) cunit=${1#*=} ;;
        --velocity-unit) [ $# -ge 2 ] || usage; vunit=$2; shift ;;
        --velocity-unit=*) vunit=${1#*=} ;;
        --) shift; break ;;
        -*) usage ;;
        *) break ;;
    esac
    shift
done
[ $# -ge 1 ] && [ $# -le 2 ] || usage
report=$1
out=${2:-${report%.txt}.png}

if [ ! -f "$report" ] || [ ! -r "$report" ]; then
    echo "plot: cannot read the report $report" >&2
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/plot.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

# The bin lines follow the column header. Fields by column: 1-6 upper edge,
# 9-14 mean curvature, 17-22 mean velocity, 25-31 number, 36-41 standard
# deviation. bins.dat gets: edge, curvature, velocity, number, error bar.
# summary gets one per line: slope, std err, the two units, the numbers of
# bins used, empty and overflowed, the largest x, the number of one-triangle bins.
awk -v data="$work/bins.dat" -v sem="$sem" '
    { sub(/\r$/, "") }
    !header && /^bin +curv +vel +number +std_dev/ { header = 1; next }
    !header {
        if (match($0, /#[ \t]*[Uu]nits:/)) {
            n = split(substr($0, RSTART + RLENGTH), w, /[ \t]+/)
            for (i = 1; i < n; i++) {
                if (w[i] == "curvature") cu = w[i + 1]
                if (w[i] == "velocity") vu = w[i + 1]
            }
        }
        next
    }
    {
        edge = substr($0, 1, 6); curv = substr($0, 9, 6); vel = substr($0, 17, 6)
        count = substr($0, 25, 7); sd = substr($0, 36, 6)
        all = edge curv vel count sd
        if (all ~ /\*/) { overflowed++; next }
        if (all ~ /NaN/ || count + 0 <= 0) { empty++; next }
        x = curv + 0; y = vel + 0; c = count + 0
        bar = sem ? sd / sqrt(c) : sd + 0
        printf "%s %s %s %d %.6g\n", edge + 0, x, y, c, bar > data
        kept++; xs[kept] = x; ys[kept] = y; ws[kept] = c; if (c == 1) ones++
        swxy += c * x * y; swxx += c * x * x
        if (x > xmax) xmax = x
        if (edge + 0 > xmax) xmax = edge + 0
    }
    END {
        if (!header) { print "plot: no column header \"bin     curv    vel ...\": not a binned report" > "/dev/stderr"; exit 3 }
        if (kept == 0 || swxx == 0) { print "plot: no bin with triangles away from zero curvature: nothing to fit" > "/dev/stderr"; exit 4 }
        slope = swxy / swxx
        for (i = 1; i <= kept; i++) rss += ws[i] * (ys[i] - slope * xs[i]) ^ 2
        se = kept > 1 ? sprintf("%.6g", sqrt(rss / ((kept - 1) * swxx))) : "nan"
        printf "%.6g\n%s\n%s\n%s\n%d\n%d\n%d\n%.6g\n%d\n", slope, se, cu, vu, kept, empty, overflowed, xmax, ones
    }
' "$report" > "$work/summary" || exit 1

{ read -r slope; read -r se; read -r hcunit; read -r hvunit
  read -r kept; read -r empty; read -r overflowed; read -r xmax; read -r ones; } < "$work/summary"
[ -n "$cunit" ] || cunit=$hcunit
[ -n "$vunit" ] || vunit=$hvunit
[ "$se" != nan ] || echo "plot: only one bin with triangles: no standard error" >&2
printf 'slope %s ± %s\n' "$slope" "$se"

[ $fit_only -eq 0 ] || exit 0
if ! command -v gnuplot > /dev/null 2>&1; then
    echo "plot: gnuplot not found, no PNG written; install it (Debian: apt-get install gnuplot-nox) and run again" >&2
    exit 1
fi

# A gnuplot string in apostrophes: an apostrophe is written twice.
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/''/g")"; }
cu_text=${cunit:-unit of the data}
vu_text=${vunit:-unit of the data}
slope_unit=''
[ -z "$cunit" ] || [ -z "$vunit" ] || slope_unit=" ($vunit)/($cunit)"
if [ $sem -eq 1 ]; then
    bars='± standard error of the mean (std dev / √n)'
else
    bars='± one standard deviation of the velocity'
fi
title="quorvel report $(basename "$report"): $kept bins with triangles"
[ "${overflowed:-0}" -eq 0 ] || title="$title, $overflowed overflowed left out"

ones_clause=''
[ "$ones" -eq 0 ] || ones_clause="'' using 2:(\$4 == 1 ? \$3 : 1/0) with points pt 8 ps 1.5 lc rgb '#d62728' title 'bin of one triangle (no spread)',"

if gnuplot -e 'set terminal pngcairo' > /dev/null 2>&1; then
    terminal="pngcairo noenhanced size 900,800 font 'Sans,10'"
else
    terminal="png noenhanced size 900,800"
fi

cat > "$work/script.gp" <<EOF
set terminal $terminal
set output $(quote "$out")
set encoding utf8
stats $(quote "$work/bins.dat") using 4 nooutput
nmax = STATS_max
slope = $slope
se = $( [ "$se" = nan ] && echo NaN || echo "$se" )
# A little room left of zero, so that the first bin is not hidden on the axis.
set xrange [-0.02 * $xmax : 1.03 * $xmax]
set multiplot title $(quote "$title")
set lmargin 12
set rmargin 4
set grid
set key top left box opaque Left reverse

set origin 0, 0.32
set size 1, 0.63
set xlabel $(quote "mean |curvature| of the bin ($cu_text)")
set ylabel $(quote "mean |velocity| ($vu_text)")
set yrange [0:*]
f(x) = slope * x
plot $(quote "$work/bins.dat") using 2:(\$4 > 1 ? \$3 : 1/0):5 with yerrorbars lc rgb '#7f7f7f' pt -1 \
        title $(quote "$bars"), \
     '' using 2:(\$4 > 1 ? \$3 : 1/0):(0.5 + 2.5 * sqrt(\$4 / nmax)) with points pt 7 ps variable lc rgb '#1f5fbf' \
        title sprintf('bin mean (size grows with triangles, at most %d)', nmax), \
     $ones_clause \
     f(x) with lines lw 2 lc rgb '#2ca02c' \
        title sprintf('fit through 0, weighted by count: slope %.4g ± %.2g%s', slope, se, $(quote "$slope_unit"))

set origin 0, 0
set size 1, 0.32
set xlabel $(quote "|curvature| bin (width 0.003 $cu_text; the last bin holds everything from 0.597 up)")
set ylabel 'triangles in the bin'
set yrange [0:*]
set style fill solid 0.6 noborder
set key off
plot $(quote "$work/bins.dat") using (\$1 - 0.0015):4:(0.003) with boxes lc rgb '#1f5fbf'
unset multiplot
EOF

if ! gnuplot "$work/script.gp" 2> "$work/err"; then
    echo "plot: gnuplot failed:" >&2
    cat "$work/err" >&2
    exit 1
fi
echo "plot: wrote $out ($kept bins with triangles, ${empty:-0} empty, ${overflowed:-0} overflowed)" >&2
