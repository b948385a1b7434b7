#!/usr/bin/env bash
# The programs as a user starts them from a terminal: programs_test.sh BINDIR VERSION [MANDIR].
#  - --help, --version and a mistyped option answer without a display (no DISPLAY, no
#    QT_QPA_PLATFORM) and without aborting; help lines fit 80 columns;
#  - a sweep drawing its picture against benchlord-sim prints only the tool's own lines (no
#    toolkit notices, with XDG_RUNTIME_DIR unset);
#  - the man pages, when they were made, have the usual sections and no stray markup.
set -uo pipefail
bindir=$1
version=$2
mandir=${3:-}
work=$(mktemp -d)
sim_pid=""
cleanup() {
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
failed=0
fail() {
    echo "FAIL: $*"
    failed=1
}
# Runs a program as from a terminal without a display; its output lands in $work/out, $work/err.
bare() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_RUNTIME_DIR "$@" \
        >"$work/out" 2>"$work/err"
}

for program in benchlord benchlordctl benchlord-sim; do
    bare "$bindir/$program" --help
    code=$?
    [ $code -eq 0 ] || fail "$program --help: exit $code: $(cat "$work/err")"
    head -n 1 "$work/out" | grep -q "^Usage: $program " || fail "$program --help: $(head -n 1 "$work/out")"
    awk -v p="$program" 'length($0) > 80 { print "FAIL: " p " --help, " length($0) " columns: " $0 }
        END { exit 0 }' "$work/out" | grep . && failed=1
    [ -s "$work/err" ] && fail "$program --help wrote to standard error: $(cat "$work/err")"

    bare "$bindir/$program" --version
    code=$?
    [ $code -eq 0 ] && [ "$(head -n 1 "$work/out")" = "$program $version" ] ||
        fail "$program --version: exit $code: $(head -n 1 "$work/out") $(cat "$work/err")"

    bare "$bindir/$program" --bogus-option
    code=$?
    [ $code -eq 2 ] || fail "$program --bogus-option: exit $code (not 2): $(cat "$work/err")"
    grep -q -e "$program: " "$work/err" && grep -q -e "--help\|^Usage: " "$work/err" ||
        fail "$program --bogus-option says: $(cat "$work/err")"
done
bare "$bindir/benchlord-sim" --tcp 0 --wire-tmie
grep -q '^benchlord-sim: did you mean "--wire-time"?$' "$work/err" ||
    fail "benchlord-sim --wire-tmie says: $(cat "$work/err")"
# Each command's help fits 80 columns too. The whole manual (--help-all) has each usage on one
# line for the man page, but no markup.
for command in $("$bindir/benchlordctl" --help | awk '/^Commands:/ { on = 1; next }
        on && /^$/ { exit } on { sub(/,/, ""); print $1 }'); do
    bare "$bindir/benchlordctl" help "$command"
    awk -v c="$command" 'length($0) > 80 { print "FAIL: benchlordctl help " c ", " length($0) \
        " columns: " $0 }' "$work/out" | grep . && failed=1
done
bare "$bindir/benchlordctl" --help-all
grep -E '^\*.*\*$' "$work/out" && fail "benchlordctl --help-all has markup (above)"

# A sweep with its picture against the virtual supply's LED.
mkfifo "$work/sim-in" "$work/sim-out"
"$bindir/benchlord-sim" --tcp 0 --model 5005 --diode led --exit-on-eof <"$work/sim-in" \
    >"$work/sim-out" &
sim_pid=$!
exec 3>"$work/sim-in" 4<"$work/sim-out"
read -r kind endpoint <&4
if [ "$kind" != tcp ]; then
    fail "benchlord-sim printed '$kind $endpoint' first"
else
    bare "$bindir/benchlordctl" --tcp "$endpoint" sweep voltage 0 0.2 0.1 --limit 0.02 \
        --dwell 0.1 --png "$work/led.png"
    code=$?
    [ $code -eq 0 ] && [ -s "$work/led.png" ] || fail "sweep --png: exit $code: $(cat "$work/err")"
    [ -s "$work/err" ] && fail "sweep --png wrote to standard error: $(cat "$work/err")"
    grep -q "^sweep ended" "$work/out" || fail "sweep --png printed: $(cat "$work/out")"
fi
exec 3>&- 4<&-
wait "$sim_pid"
sim_pid=""

if [ -n "$mandir" ]; then
    for program in benchlord benchlordctl benchlord-sim; do
        page=$(zcat "$mandir/$program.1.gz") || { fail "no man page for $program"; continue; }
        for section in NAME SYNOPSIS DESCRIPTION OPTIONS '"EXIT STATUS"' ENVIRONMENT FILES \
                       EXAMPLES; do
            grep -q -x -F ".SH $section" <<<"$page" || fail "$program(1) has no $section"
        done
        grep -n -E '^\\?\*[A-Za-z].*\*$' <<<"$page" | grep . && fail "$program(1): stray markup"
    done
    # A CSV heading is a paragraph of its own, not run into the next sentence.
    for heading in time,uset,iset,uout,iout,power,uin,mode,protect,output \
                   point,uset,iset,uout,iout,power,mode,readings; do
        zcat "$mandir/benchlordctl.1.gz" | grep -B 1 -x -F "$heading" | head -n 1 |
            grep -q -x '.IP' || fail "benchlordctl(1): $heading runs into its paragraph"
    done
fi

[ $failed -eq 0 ] && echo "programs: every case passed"
exit $failed
