#!/bin/sh
# Runs one black-box case: a folder that holds the files of a working
# directory (input.txt, data files, symbolic links) and what the run must
# leave behind:
#   cmd              one line per run, in order: the program, and optionally a
#                    file of the folder to copy over input.txt before that run
#   expected_stdout  standard output of all runs together, byte for byte
#   expected/NAME    the file NAME as the runs leave it, byte for byte
#   status           exit status of the last run (no file: 0); a run that
#                    fails ends the sequence
#   stderr           extended regular expression that the single line on
#                    standard error must match (no file: standard error empty)
#   stdout_full      marker: standard output is /dev/full (no expected_stdout)
# The folder is copied to a scratch directory first; afterwards it must hold
# exactly the copied files and the expected ones. Every run is killed after
# 20 seconds.
# Usage: run_case.sh BIN_DIR CASE_FOLDER
set -u
bin=$1
case $bin in /*) ;; *) bin=$PWD/$bin ;; esac
folder=$2
tmp=$(mktemp -d) || exit 2
trap 'rm -rf "$tmp"' EXIT
work=$tmp/work
cp -RP "$folder" "$work" || exit 2
(cd "$work" && rm -rf cmd expected_stdout expected status stderr stdout_full)

# Regular files and symbolic links, marked f or l.
listing() {
    (cd "$1" && { find . -type f | sed 's/^/f /'; find . -type l | sed 's/^/l /'; }) | sort
}
listing "$work" >"$tmp/files_before"

out=$tmp/stdout
[ -e "$folder/stdout_full" ] && out=/dev/full
: >"$tmp/stdout"
: >"$tmp/stderr"
status=0
while read -r program control; do
    [ -n "$control" ] && cp "$work/$control" "$work/input.txt"
    (cd "$work" && exec timeout 20 "$bin/$program") </dev/null >>"$out" 2>>"$tmp/stderr"
    status=$?
    [ "$status" -eq 0 ] || break
done <"$folder/cmd"

failed=0
fail() {
    echo "$folder: $*"
    failed=1
}
expected_status=0
[ -e "$folder/status" ] && expected_status=$(cat "$folder/status")
[ "$status" = "$expected_status" ] || fail "exit status $status, expected $expected_status"
if [ -e "$folder/stderr" ]; then
    if [ "$(wc -l <"$tmp/stderr")" -ne 1 ] || ! grep -Eq -f "$folder/stderr" "$tmp/stderr"; then
        fail "standard error does not match: $(cat "$folder/stderr")"
    fi
elif [ -s "$tmp/stderr" ]; then
    fail "standard error should be empty"
fi
[ "$failed" -eq 0 ] || { echo "standard error was:"; head -c 2000 "$tmp/stderr"; }
if [ ! -e "$folder/stdout_full" ] && ! cmp -s "$folder/expected_stdout" "$tmp/stdout"; then
    fail "standard output differs (< expected, > actual):"
    diff "$folder/expected_stdout" "$tmp/stdout" | head -n 20
fi

cp "$tmp/files_before" "$tmp/files_expected"
if [ -d "$folder/expected" ]; then
    for name in $(cd "$folder/expected" && find . -type f); do
        echo "f $name" >>"$tmp/files_expected"
        if ! cmp -s "$folder/expected/$name" "$work/$name"; then
            fail "$name differs (< expected, > actual):"
            diff "$folder/expected/$name" "$work/$name" | head -n 20
        fi
    done
fi
listing "$work" >"$tmp/files_after"
sort -u "$tmp/files_expected" -o "$tmp/files_expected"
cmp -s "$tmp/files_expected" "$tmp/files_after" ||
    fail "files after the run (< expected, > actual): $(diff "$tmp/files_expected" "$tmp/files_after" | grep '^[<>]')"
exit "$failed"
