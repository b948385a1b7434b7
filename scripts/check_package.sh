#!/usr/bin/env bash
# Builds the Debian package and checks it: the desktop entry and the AppStream metainfo validate,
# lintian finds no errors or warnings, the programs are hardened and stripped, the documentation
# is complete, and the programs run from the unpacked package (completion, help and man pages are
# tested in the suite, tests/packaging). Skipped (exit 0) when
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
# Without a maintainer address (DEBEMAIL, or -DBENCHLORD_MAINTAINER="Name <address>") the package
# names its maintainer without one rather than an invented one; lintian reports that one missing
# address where it stands, in the control file and in the changelog's trailer, and nothing else
# may remain.
quiet=()
if ! dpkg-deb -f "$deb" Maintainer | grep -q '<.*@.*>'; then
    echo "package check: no maintainer address given (lintian's malformed-contact and" \
        "bogus-mail-host-in-debian-changelog are expected)"
    quiet=(--suppress-tags malformed-contact,bogus-mail-host-in-debian-changelog)
fi
lintian --fail-on error,warning "${quiet[@]}" "$deb"
# Built with the hardening flags and stripped as Debian does (lintian tells these as notes only).
if lintian --display-info --tags hardening-no-relro,hardening-no-bindnow,hardening-no-fortify-functions,hardening-no-pie,binary-has-unneeded-section,unstripped-binary-or-object "$deb" |
    grep .; then
    echo "the programs are not hardened or not stripped as Debian does (above)" >&2
    exit 1
fi
# No invented address left anywhere in the package.
if grep -r -i -l -a 'example\.\(org\|com\|net\)' "$tmp"; then
    echo "placeholder address in the package (above)" >&2
    exit 1
fi

# What the menu, man, bash and a reader of the documentation need is there.
doc=usr/share/doc/benchlord
for f in usr/share/icons/hicolor/scalable/apps/org.tarnwell.Benchlord.svg \
         usr/share/icons/hicolor/48x48/apps/org.tarnwell.Benchlord.png \
         usr/share/man/man1/benchlord.1.gz usr/share/man/man1/benchlordctl.1.gz \
         usr/share/man/man1/benchlord-sim.1.gz \
         usr/share/bash-completion/completions/benchlordctl $doc/README.md.gz $doc/copyright; do
    [ -f "$tmp/$f" ] || { echo "missing in the package: /$f" >&2; exit 1; }
done
grep -q '^Source: ' "$tmp/$doc/copyright" || { echo "no Source: in the copyright file" >&2; exit 1; }
# Every picture the README shows is beside it.
for picture in $(zcat "$tmp/$doc/README.md.gz" | grep -o 'docs/[A-Za-z0-9_.-]*\.png' | sort -u); do
    [ -f "$tmp/$doc/$picture" ] || { echo "the README shows /$doc/$picture, not in the package" >&2; exit 1; }
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
echo "package check passed: $(basename "$deb")"
