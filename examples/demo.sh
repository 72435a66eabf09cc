#!/bin/sh
# Run the whole chain on the bundled example:
#   dremmick conditions examples/grain_faces.txt (limits from examples/input.txt),
#   quorvel bins the conditioned file by curvature,
#   triangle-plot-slope (build/bin) fits the slope of velocity against
#   curvature and draws it.
# Everything happens in a copy under BUILD_DIR/demo/.
#
# Usage: sh examples/demo.sh BUILD_DIR      (make demo does this)
set -u

if [ $# -ne 1 ]; then
    echo "usage: sh examples/demo.sh BUILD_DIR" >&2
    exit 2
fi
build=$1
here=$(dirname "$0")
bin=$build/bin
demo=$build/demo

for prog in dremmick quorvel triangle-plot-slope; do
    if [ ! -x "$bin/$prog" ]; then
        echo "demo: $bin/$prog not found; build first (make)" >&2
        exit 1
    fi
done
bin_abs=$(cd "$bin" && pwd)

# The data file is the first item of line 1 of input.txt.
data=$(sed -n '1{s/^[[:space:]]*//;s/[[:space:],].*//;p;q;}' "$here/input.txt")
case $data in
    ''|*/*|\'*|\"*) echo "demo: cannot use data file name '$data' from $here/input.txt" >&2
                    exit 1 ;;
esac
stem=${data%%.*}
conditioned=${stem}_cnd.txt
report=${stem}_cnd_binned.txt

rm -rf "$demo"
mkdir -p "$demo" || exit 1
cp "$here/$data" "$here/input.txt" "$demo/" || exit 1

# run PROG: runs the program in the demo directory, its output to PROG.log.
run() {
    if ! (cd "$demo" && "$bin_abs/$1" > "$1.log" 2>&1); then
        echo "demo: $1 failed; last lines of $demo/$1.log:" >&2
        tail -n 5 "$demo/$1.log" >&2
        exit 1
    fi
}

echo "== dremmick: conditioning $data (limits: $(sed -n '2{s/^[[:space:]]*//;s/[[:space:],].*//;p;}' "$here/input.txt") curvature, $(sed -n '3{s/^[[:space:]]*//;s/[[:space:],].*//;p;}' "$here/input.txt") velocity)"
run dremmick
if [ ! -f "$demo/$conditioned" ]; then
    echo "demo: dremmick did not write $demo/$conditioned" >&2
    exit 1
fi
tail -n 4 "$demo/dremmick.log"

echo "== quorvel: binning $conditioned by curvature"
printf '%s\n' "$conditioned" > "$demo/input.txt"
run quorvel
if [ ! -f "$demo/$report" ]; then
    echo "demo: quorvel did not write $demo/$report" >&2
    exit 1
fi
# The column header and the first bins of the report.
sed -n '/^bin /,$p' "$demo/$report" | head -n 11
echo "   ... (200 bins)"

echo
echo "conditioned file: $demo/$conditioned"
echo "binned report:    $demo/$report"
echo "program output:   $demo/dremmick.log, $demo/quorvel.log"

# The fitted slope and the plot, by the package's command beside the programs.
echo
"$bin_abs/triangle-plot-slope" "$demo/$report" || exit 1
