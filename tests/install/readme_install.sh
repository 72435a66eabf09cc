#!/bin/sh
# Runs the blocks of docs/install.md marked "tested" as they stand, in the source
# tree with a scratch HOME (so make install lands in WORK_DIR/home/.local),
# then runs the installed programs from PATH.
#   sh readme_install.sh SOURCE_DIR BUILD_DIR WORK_DIR [CONSUMER_FLAGS]
set -e
src=$1 work=$3
rm -rf "$work"
mkdir -p "$work/home"
export HOME="$work/home" BUILD="$2"     # the Makefile takes BUILD from the environment
export CXXFLAGS="${4-}" LDFLAGS="${4-}" # CMake starts the consumer's flags from these
unset MAKEFLAGS MFLAGS MAKELEVEL
blocks=$(awk '/^<!-- tested/ { marked = 1; next }
              marked && /^```sh$/ { inside = 1; next }
              inside && /^```$/ { inside = marked = 0; next }
              inside' "$src/docs/install.md")
[ -n "$blocks" ] || { echo "no tested block in docs/install.md" >&2; exit 1; }
cd "$src"
eval "$blocks"

test "$(command -v quorvel)" = "$HOME/.local/bin/quorvel"
test -f "${MANPATH%%:*}/man1/dremmick.1"
mkdir "$HOME/run" && cd "$HOME/run"
printf '# installed run\n1 2 3 4 5 6 7 8 9 -1 -0.0045 2.5\n' > raw.txt
dremmick raw.txt 0.5 3.0 > /dev/null
quorvel raw_cnd.txt | grep -x '0.0060  0.0045  2.5000        1    0.0000'
[ -d "$BUILD/python/triangle_tools" ] || exit 0     # the commands come with the Python package
for command in triangle-plot-slope triangle-by-boundary; do
    test "$(command -v $command)" = "$HOME/.local/bin/$command"
    (cd / && $command --help) | grep -q "^usage: $command "
done
(cd "$src" && make install PREFIX="$work/elsewhere" > /dev/null)    # a prefix the Python does not look in
(cd / && PYTHONNOUSERSITE=1 "$work/elsewhere/bin/triangle-by-boundary" --help) | grep -q '^usage: triangle-by-boundary '
triangle-plot-slope --fit-only raw_cnd_binned.txt 2>&1 | grep -q 'raw_cnd_binned.txt: no bin of 2 or more faces'
set +e; triangle-by-boundary raw.txt 0.5 2>/dev/null; test $? -eq 64
