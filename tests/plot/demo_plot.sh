#!/bin/sh
# make demo on the bundled example prints the slope line worked out for the
# example's report (the independent route of bench/slope_coverage.py check
# agreed with it when it was pinned; python.slope_coverage keeps the two
# routes in agreement) and the interval (t with 141 degrees of freedom),
# warns of nothing, and writes the PNG.
#   sh demo_plot.sh SOURCE_DIR BUILD_DIR
cd "$1" || exit 1
expected='slope 1.61328 ± 0.0396997
95% interval 1.5348 to 1.69177'
out=$(sh examples/demo.sh "$2" 2> "$2/demo_plot.err")
status=$?
line=$(printf '%s\n' "$out" | grep -A1 '^slope ')
if [ $status -ne 0 ] || [ "$line" != "$expected" ] || [ ! -s "$2/demo/grain_faces_cnd_binned.png" ] ||
    grep -q 'warning' "$2/demo_plot.err"; then
    printf '%s\n' "$out"
    cat "$2/demo_plot.err"
    echo "expected exit status 0 (got $status), '$expected' (got '$line'), no warning, and the PNG" >&2
    exit 1
fi
