#!/bin/sh
# make demo on the bundled example: exactly one slope line on standard output,
# and the PNG written.      sh demo_plot.sh SOURCE_DIR BUILD_DIR
cd "$1" || exit 1
png=$2/demo/grain_faces_cnd_binned.png
out=$(sh examples/demo.sh "$2")
status=$?
slopes=$(printf '%s\n' "$out" | grep -cEx 'slope [0-9.e+-]+ ± [0-9.e+-]+')
if [ $status -ne 0 ] || [ "$slopes" != 1 ] || [ ! -s "$png" ]; then
    printf '%s\n' "$out"
    echo "expected exit status 0 (got $status), one slope line (got $slopes) and $png" >&2
    exit 1
fi
