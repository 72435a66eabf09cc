#!/bin/sh
# Runs one black-box case: a folder that holds the files of a working
# directory (input.txt, data files, symbolic links) and what the run must
# leave behind:
#   cmd              one line per run, in order: the program and its arguments,
#                    split into words as a shell splits them, at blanks and
#                    tabs outside quotes; '...' and "..." quote their text as
#                    it stands (no escapes, no expansions: $, ` and \ are
#                    plain bytes), so '' is an empty argument and ' ' a blank;
#                    a line whose arguments are <FILE copies FILE of the
#                    folder over input.txt before that run instead
#   expected_stdout  standard output of all runs together, byte for byte
#   expected/NAME    the file NAME as the runs leave it, byte for byte
#   status           exit status of the last run (no file: 0); a run that
#                    fails ends the sequence
#   stderr           one extended regular expression per line that standard
#                    error must hold, line by line (no file: it must be empty)
#   stdout_full      marker: standard output is /dev/full (no expected_stdout)
# The folder is copied to a scratch directory first; afterwards it must hold
# exactly the copied files and the expected ones. Every run is killed after
# 20 seconds.
# Usage: run_case.sh BIN_DIR CASE_FOLDER
set -u
bin=$(cd "$1" && pwd) && folder=$2 || exit 2
tmp=$(mktemp -d) && work=$tmp/work || exit 2
trap 'rm -rf "$tmp"' EXIT
cp -RP "$folder" "$work" || exit 2
(cd "$work" && rm -rf cmd expected_stdout expected status stderr stdout_full)

# Regular files and symbolic links, marked f or l.
listing() { (cd "$1" && { find . -type f | sed 's/^/f /'; find . -type l | sed 's/^/l /'; }) | sort; }
listing "$work" >"$tmp/files_before"

out=$tmp/stdout
[ -e "$folder/stdout_full" ] && out=/dev/full
: >"$tmp/stdout" && : >"$tmp/stderr" && : >"$tmp/patterns"
# Runs PROGRAM with the words of ARGUMENTS; status 2 for an unclosed quote.
run() {
    program=$1 rest=$2
    set --
    while rest=${rest#"${rest%%[! 	]*}"} && [ -n "$rest" ]; do
        word=
        while [ -n "$rest" ]; do
            case $rest in
            [\ \	]*) break ;;
            [\'\"]*)
                quote=${rest%"${rest#?}"} rest=${rest#?}
                case $rest in *"$quote"*) ;; *) echo "$folder: unclosed $quote in cmd" >&2 && return 2 ;; esac
                word=$word${rest%%"$quote"*} rest=${rest#*"$quote"} ;;
            *) piece=${rest%%[\ \	\'\"]*} && word=$word$piece rest=${rest#"$piece"} ;;
            esac
        done
        set -- "$@" "$word"
    done
    (cd "$work" && exec timeout 20 "$bin/$program" "$@") </dev/null >>"$out" 2>>"$tmp/stderr"
}
status=0
while read -r program arguments; do
    case $arguments in "<"*) cp "$work/${arguments#<}" "$work/input.txt" && arguments= ;; esac
    run "$program" "$arguments"
    status=$? && [ "$status" -eq 0 ] || break
done <"$folder/cmd"

failed=0
fail() { echo "$folder: $*" && failed=1; }
expected_status=$(cat "$folder/status" 2>/dev/null || echo 0)
[ "$status" = "$expected_status" ] || fail "exit status $status, expected $expected_status"
[ -e "$folder/stderr" ] && cp "$folder/stderr" "$tmp/patterns"
line=0
while IFS= read -r pattern; do
    line=$((line + 1))
    sed -n "${line}p" "$tmp/stderr" | grep -Eq -- "$pattern" || fail "standard error line $line does not match $pattern"
done <"$tmp/patterns"
[ "$(wc -l <"$tmp/stderr")" -eq "$line" ] || fail "standard error holds $(wc -l <"$tmp/stderr") lines, expected $line"
[ "$failed" -eq 0 ] || { echo "standard error was:"; head -c 2000 "$tmp/stderr"; }
[ -e "$folder/stdout_full" ] || cmp -s "$folder/expected_stdout" "$tmp/stdout" ||
    { fail "standard output differs (< expected, > actual):" && diff "$folder/expected_stdout" "$tmp/stdout" | head -n 20; }

cp "$tmp/files_before" "$tmp/files_expected"
if [ -d "$folder/expected" ]; then
    for name in $(cd "$folder/expected" && find . -type f); do
        echo "f $name" >>"$tmp/files_expected"
        cmp -s "$folder/expected/$name" "$work/$name" ||
            { fail "$name differs (< expected, > actual):" && diff "$folder/expected/$name" "$work/$name" | head -n 20; }
    done
fi
listing "$work" >"$tmp/files_after"
sort -u "$tmp/files_expected" -o "$tmp/files_expected"
cmp -s "$tmp/files_expected" "$tmp/files_after" ||
    fail "files after the run (< expected, > actual): $(diff "$tmp/files_expected" "$tmp/files_after" | grep '^[<>]')"
exit "$failed"
