#!/usr/bin/env bash
# Builds the Debian package and checks it: the desktop entry and the AppStream metainfo validate,
# lintian finds no errors, and the programs run from the unpacked package. Skipped (exit 0) when
# the packaging tools are not installed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

for tool in lintian desktop-file-validate appstreamcli dpkg-deb help2man cpack; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "package check skipped: $tool is not installed"
        exit 0
    fi
done

deb=$("$root/scripts/package.sh" | tail -n 1)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"

desktop-file-validate "$tmp"/usr/share/applications/*.desktop
# Both ways: the addresses given to the build must really be reachable (without a network that
# fails, it is not taken as a pass); without addresses there is nothing to reach.
for net in --no-net ""; do
    appstreamcli validate $net --pedantic "$tmp"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
        { appstreamcli validate $net --pedantic "$tmp"/usr/share/metainfo/*.metainfo.xml >&2; exit 1; }
done
# A package built without -DBENCHLORD_MAINTAINER="Name <address>" names its maintainer without an
# address rather than an invented one; lintian reports that one fact in the control file and in
# the changelog trailer, and nothing else may remain.
quiet=()
if ! dpkg-deb -f "$deb" Maintainer | grep -q '<.*@.*>'; then
    echo "package check: no maintainer address given (lintian's malformed-contact and changelog" \
        "trailer findings are expected)"
    quiet=(--suppress-tags malformed-contact,syntax-error-in-debian-changelog)
fi
lintian --fail-on error,warning "${quiet[@]}" "$deb"
# No invented address left anywhere in the package.
if grep -r -i -l -a 'example\.\(org\|com\|net\)' "$tmp"; then
    echo "placeholder address in the package (above)" >&2
    exit 1
fi

# What the menu, man and bash need is there.
for f in usr/share/icons/hicolor/scalable/apps/org.tarnwell.Benchlord.svg \
         usr/share/icons/hicolor/48x48/apps/org.tarnwell.Benchlord.png \
         usr/share/man/man1/benchlord.1.gz usr/share/man/man1/benchlordctl.1.gz \
         usr/share/man/man1/benchlord-sim.1.gz \
         usr/share/bash-completion/completions/benchlordctl; do
    [ -f "$tmp/$f" ] || { echo "missing in the package: /$f" >&2; exit 1; }
done

# The unpacked programs run.
version=$(sed -n 's/^project(Benchlord VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
"$tmp/usr/bin/benchlord-sim" --help >/dev/null
for program in benchlord benchlordctl benchlord-sim; do
    text=$(QT_QPA_PLATFORM=offscreen "$tmp/usr/bin/$program" --version)
    [ "$(head -n 1 <<<"$text")" = "$program $version" ] &&
        grep -q '^Licence: GPL-3.0-or-later' <<<"$text" ||
        { echo "$program --version: $text" >&2; exit 1; }
done
# Tab completion offers the packaged program's commands, option values and file names.
complete_words() {
    (cd "$tmp" && PATH="$tmp/usr/bin:$PATH" bash -c 'source "$1"; shift; COMP_WORDS=("$@")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _benchlordctl; echo "${COMPREPLY[*]}"' _ \
        "$tmp/usr/share/bash-completion/completions/benchlordctl" benchlordctl "$@")
}
expect_completion() {
    local want=$1 words
    shift
    words=$(complete_words "$@")
    [[ " $words " == *" $want "* ]] || { echo "completing '$*' lacks $want: $words" >&2; exit 1; }
}
for command in info read watch preset; do expect_completion "$command" ""; done
expect_completion --help-all --help
expect_completion xlsx --tcp 127.0.0.1 sequence run --format ""
expect_completion usr --port ttyUSB0 flash us
expect_completion usr --tcp 127.0.0.1 sequence run us
expect_completion run --tcp 127.0.0.1 sequence ""
echo "package check passed: $(basename "$deb")"
