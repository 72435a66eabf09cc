#!/bin/sh
# triangle-plot-slope: fits and draws a binned report of quorvel.
#
# The fit (triangle_slope.py, Python 3 with its standard library only): the
# slope M of v = M·κ, unbiased although the report holds mean |v|, whose fold
# lifts the bins of small curvature; bins of one face and bin 200 (everything
# from 0.597 up) are left out, bin 200 brought in by --last-bin. Standard
# output: "slope VALUE ± STDERR" first (scripts take it), then the 95%
# interval and the method with the bins fitted; every other message goes to
# standard error.
#
# The PNG (needs gnuplot):
#   top:    mean |velocity| against mean |curvature|, one point per bin, error
#           bars of one standard deviation (or, with --sem, the standard error
#           of the mean, std dev / sqrt(n)); bins left out of the fit drawn
#           open; the fitted line with its 95% band; the mean |v| the fit
#           expects in each bin (the fold's lift);
#   bottom: the number of faces in each curvature bin, fitted bins in blue.
# Bins with a field that overflowed (asterisks) are left out of both.
#
# Units: from a header line of the report such as
#   # units: curvature 1/um velocity um/s
# (the data file's header lines are copied into the report), or from the
# options, which win.
set -u

case $0 in
    *plot.sh) prog="sh $0" ;;      # in the source tree
    *) prog=$(basename "$0") ;;
esac
usage_text="usage: $prog [--sem] [--last-bin] [--curvature-unit UNIT] [--velocity-unit UNIT] [--fit-only] REPORT [OUT.png]"
usage() {
    echo "$usage_text" >&2
    exit 2
}
help() {
    cat <<EOF
$usage_text

Fits the slope of velocity against curvature to quorvel's binned REPORT and
draws it as OUT.png (REPORT with .txt replaced by .png). Prints
"slope VALUE ± STDERR", then the 95% interval and the bins fitted.

  --sem                  error bars: standard error of the mean (std dev / √n)
  --last-bin             fit bin 200 too (it holds every curvature from 0.597 up)
  --curvature-unit UNIT  unit of the curvature axis, e.g. 1/um
  --velocity-unit UNIT   unit of the velocity axis, e.g. um/s
  --fit-only             print the fit only; draw nothing (no gnuplot needed)
  -h, --help             this text

Needs python3 (standard library) for the fit and gnuplot for the PNG.
EOF
    exit 0
}

sem=0; fit_only=0; last_bin=''; cunit=''; vunit=''
while [ $# -gt 0 ]; do
    case $1 in
        -h|--help) help ;;
        --sem) sem=1 ;;
        --fit-only) fit_only=1 ;;
        --last-bin) last_bin=--last-bin ;;
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

# The fit beside this script: python/ in the source tree, share/triangle_tools/
# once installed.
here=$(dirname "$(readlink -f "$0" 2> /dev/null || echo "$0")")
helper=''
for dir in "$here/../python/triangle_tools" "$here/../share/triangle_tools"; do
    [ -f "$dir/binned_fit.py" ] && helper=$dir/binned_fit.py && break
done
if [ -z "$helper" ]; then
    echo "plot: binned_fit.py not found beside $0 (../python/triangle_tools or ../share/triangle_tools)" >&2
    exit 1
fi
python=$(command -v python3 || echo /usr/bin/python3)
if [ ! -x "$python" ]; then
    echo "plot: python3 not found; the fit needs it (Debian: apt-get install python3)" >&2
    exit 1
fi

[ $fit_only -eq 0 ] || exec "$python" "$helper" $last_bin "$report"

work=$(mktemp -d "${TMPDIR:-/tmp}/plot.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM
"$python" "$helper" $last_bin --plot-data "$work" "$report" || exit $?

if ! command -v gnuplot > /dev/null 2>&1; then
    echo "plot: gnuplot not found, no PNG written; install it (Debian: apt-get install gnuplot-nox) and run again" >&2
    exit 1
fi
{ read -r slope; read -r se; read -r low; read -r high; read -r spread; read -r hcunit; read -r hvunit
  read -r shown; read -r empty; read -r overflowed; read -r xmax; read -r fitted
  read -r fitted_bins; read -r left_out; } < "$work/summary"
[ -n "$cunit" ] || cunit=$hcunit
[ -n "$vunit" ] || vunit=$hvunit

# A gnuplot string in apostrophes: an apostrophe is written twice.
quote() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/''/g")"; }
cu_text=${cunit:-unit of the data}
vu_text=${vunit:-unit of the data}
slope_unit=''
[ -z "$cunit" ] || [ -z "$vunit" ] || slope_unit=" ($vunit)/($cunit)"
if [ $sem -eq 1 ]; then
    bars='± standard error of the mean (std dev / √n)'
    bar='($6 / sqrt($5))'
else
    bars='± one standard deviation of |v|'
    bar='6'
fi
title="quorvel report $(basename "$report"): $shown bins with faces, $fitted fitted"
[ "$overflowed" -eq 0 ] || title="$title, $overflowed overflowed (not drawn)"
[ ${#fitted_bins} -le 120 ] || fitted_bins="$(printf '%.117s' "$fitted_bins")..."
fit_title="fit, folded-normal moments per bin: slope $slope ± $se$slope_unit"
band_title="95% interval $low to $high"

if gnuplot -e 'set terminal pngcairo' > /dev/null 2>&1; then
    terminal="pngcairo noenhanced size 900,800 font 'Sans,10'"
else
    terminal="png noenhanced size 900,800"
fi

cat > "$work/script.gp" <<EOF
set terminal $terminal
set output $(quote "$out")
set encoding utf8
set datafile missing '?'
stats $(quote "$work/bins.dat") using 5 nooutput
nmax = STATS_max
# A little room left of zero, so that the first bin is not hidden on the axis.
set xrange [-0.02 * $xmax : 1.03 * $xmax]
set multiplot title $(quote "$title") noenhanced
set lmargin 12
set rmargin 4
set grid
set key top left box opaque Left reverse

set origin 0, 0.32
set size 1, 0.63
set xlabel $(quote "mean |curvature| of the bin ($cu_text)")
set ylabel $(quote "mean |velocity| ($vu_text)")
set yrange [0:*]
set style fill transparent solid 0.25 noborder
set samples 200
# E|v| for v normal about slope·κ with the pooled spread: |v| is folded at 0.
folded(x) = $spread * sqrt(2 / pi) * exp(-($slope * x / $spread) ** 2 / 2) + $slope * x * erf($slope * x / ($spread * sqrt(2)))
plot '+' using 1:($low * \$1):($high * \$1) with filledcurves lc rgb '#2ca02c' title $(quote "$band_title"), \
     $(quote "$work/bins.dat") using 3:(\$7 > 0 ? \$4 : 1/0):$bar with yerrorbars lc rgb '#7f7f7f' pt -1 \
        title $(quote "$bars"), \
     '' using 3:(\$7 > 0 ? \$4 : 1/0):(0.5 + 2.5 * sqrt(\$5 / nmax)) with points pt 7 ps variable lc rgb '#1f5fbf' \
        title sprintf('bin fitted (size grows with faces, at most %d)', nmax), \
     '' using 3:(\$7 > 0 ? 1/0 : \$4) with points pt 6 ps 1.2 lc rgb '#d62728' \
        title $(quote "left out of the fit: $left_out"), \
     $slope * x with lines lw 2 lc rgb '#2ca02c' title $(quote "$fit_title"), \
     folded(x) with lines dt 2 lw 2 lc rgb '#ff7f0e' \
        title $(quote "mean |v| the fit expects (pooled spread $spread): lifted by the fold")

set origin 0, 0
set size 1, 0.32
set xlabel $(quote "|curvature| bin (width 0.003 $cu_text; the last bin holds everything from 0.597 up)")
set ylabel 'faces in the bin'
set title $(quote "bins fitted, in blue: $fitted_bins")
set yrange [0:*]
set style fill solid 0.6 noborder
set key off
plot $(quote "$work/bins.dat") using (\$2 - 0.0015):5:(0.003):(\$7 > 0 ? 0x1f5fbf : 0xaaaaaa) with boxes lc rgb variable
unset multiplot
EOF

if ! gnuplot "$work/script.gp" 2> "$work/err"; then
    echo "plot: gnuplot failed:" >&2
    cat "$work/err" >&2
    exit 1
fi
echo "plot: wrote $out ($shown bins with faces, $fitted fitted, ${empty:-0} empty, ${overflowed:-0} overflowed)" >&2
