#!/bin/sh
# make demo on the bundled example prints the slope line worked out for the
# example's report by another route (bench/slope_coverage.py check: moments by
# quadrature, spreads by bisection, derivatives by differences) and the
# interval (t with 141 degrees of freedom); that route run on the report now
# agrees, and the PNG is written.
#   sh demo_plot.sh SOURCE_DIR BUILD_DIR PYTHON
cd "$1" || exit 1
expected='slope 1.61328 ± 0.0396997
95% interval 1.5348 to 1.69177'
out=$(sh examples/demo.sh "$2")
status=$?
line=$(printf '%s\n' "$out" | grep -A1 '^slope ')
if [ $status -ne 0 ] || [ "$line" != "$expected" ] || [ ! -s "$2/demo/grain_faces_cnd_binned.png" ] ||
    ! PYTHONPATH="$2/python" "$3" bench/slope_coverage.py check "$2/demo/grain_faces_cnd_binned.txt" "$(printf '%s\n' "$line" | head -n 1)"; then
    printf '%s\n' "$out"
    echo "expected exit status 0 (got $status), '$expected' (got '$line'), agreeing with the check, and the PNG" >&2
    exit 1
fi
