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
appstreamcli validate --no-net --pedantic "$tmp"/usr/share/metainfo/*.metainfo.xml >/dev/null
lintian --fail-on error "$deb"

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
[ "$("$tmp/usr/bin/benchlordctl" --version)" = "benchlordctl $version" ]
"$tmp/usr/bin/benchlord-sim" --help >/dev/null
[ "$("$tmp/usr/bin/benchlord-sim" --version)" = "benchlord-sim $version" ]
QT_QPA_PLATFORM=offscreen "$tmp/usr/bin/benchlord" --version >/dev/null
# Tab completion offers the packaged program's commands.
words=$(PATH="$tmp/usr/bin:$PATH" bash -c 'source "$1"; COMP_WORDS=(benchlordctl ""); COMP_CWORD=1
    _benchlordctl; echo "${COMPREPLY[*]}"' _ "$tmp/usr/share/bash-completion/completions/benchlordctl")
for command in info read watch preset; do
    [[ " $words " == *" $command "* ]] || { echo "completion lacks $command: $words" >&2; exit 1; }
done
echo "package check passed: $(basename "$deb")"
