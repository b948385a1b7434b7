#!/usr/bin/env bash
# Tab completion of benchlordctl as bash runs it: completion_test.sh BINDIR COMPLETION_FILE.
# Each case types the words of a command line and checks the words completion offers for the
# last one (the program itself is asked for its commands and options, as when installed).
set -uo pipefail
bindir=$1
completion=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/usr" "$work/runs"
touch "$work/with space.csv" "$work/without.csv" "$work/runs/a b.txt"
failed=0

# The offered words, one per line.
complete_words() {
    (cd "$work" && PATH="$bindir:$PATH" bash -c 'source "$1"; shift; COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _benchlordctl; printf "%s\n" "${COMPREPLY[@]}"' \
        _ "$completion" benchlordctl "$@")
}
# offers WORD TYPED...: WORD is among the words offered for the last of TYPED.
offers() {
    local want=$1 words
    shift
    words=$(complete_words "$@")
    if ! grep -q -x -F -- "$want" <<<"$words"; then
        echo "FAIL: completing '$*' does not offer '$want' but:" $words
        failed=1
    fi
}
# offers_exactly 'WORD1|WORD2' TYPED...: those words and no others.
offers_exactly() {
    local want=$1 words
    shift
    words=$(complete_words "$@" | sort | paste -s -d '|')
    if [ "$words" != "$want" ]; then
        echo "FAIL: completing '$*' offers '$words', not '$want'"
        failed=1
    fi
}

for command in info read watch preset sequence help; do offers "$command" ""; done
offers --help-all --help
offers --voltage --tcp 127.0.0.1 set --vol
offers xlsx --tcp 127.0.0.1 sequence run --format ""
offers run --tcp 127.0.0.1 sequence ""
offers_exactly 'list|save|select|show' --tcp 127.0.0.1 preset ""
offers_exactly 'all-off|all-on|off|on|read|watch' bench without.csv ""
offers usr --port ttyUSB0 flash us
offers usr --tcp 127.0.0.1 sequence run us
# File names with spaces stay one word, typed plainly, after a backslash or an open quote, and
# in a folder.
offers_exactly 'with space.csv|without.csv' --tcp 127.0.0.1 sequence run wi
offers_exactly 'with space.csv' --tcp 127.0.0.1 watch --csv 'with\ '
offers_exactly 'with space.csv' --tcp 127.0.0.1 plan run '"with '
offers_exactly 'runs/a b.txt' --tcp 127.0.0.1 sequence run --log runs/a

# Every option a help lists is offered where that help applies: the tool's own with no command,
# a command's after it.
options_in() { "$bindir/benchlordctl" "$@" | sed -n '/^Options:$/,/^$/p' | grep -o -E -- '^  --[a-z-]+'; }
for option in $(options_in --help); do offers "$option" --; done
for command in $("$bindir/benchlordctl" --help 2>/dev/null | awk '/^Commands:/ { on = 1; next }
        on && /^$/ { exit } on { sub(/,/, ""); print $1 }'); do
    for option in $(options_in help "$command"); do offers "$option" --tcp 127.0.0.1 "$command" --; done
done

[ $failed -eq 0 ] && echo "completion: every case passed"
exit $failed
