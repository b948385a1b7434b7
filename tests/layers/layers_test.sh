#!/usr/bin/env bash
# Fails when a library includes a header of a library above it or beside it. Usage:
# layers_test.sh SOURCE_ROOT. Each folder may include its own headers and those of the folders
# listed for it; a folder nested in another (tools/core in tools) is a library of its own.
set -uo pipefail
root=$1

declare -A allowed=(
    [device]="device"
    [link]="link device"
    [session]="session link device"
    [controls]="controls session link device"
    [tools/core]="tools/core session link device"
    [tools]="tools tools/core controls session link device"
    [maintenance/core]="maintenance/core session link device"
    [maintenance]="maintenance maintenance/core controls session link device"
    [app]="app tools tools/core maintenance maintenance/core controls session link device sim bridges"
    [sim]="sim link device"
    [scpi]="scpi tools/core session link device"
    [bridges]="bridges tools/core session link device"
    [cli]="cli scpi bridges tools/core maintenance/core session link device"
)

# The library of a path relative to the include root ("tools/core/plan.h" -> tools/core).
layer_of() {
    local path=$1 best="" name
    for name in "${!allowed[@]}"; do
        if [[ $path == "$name"/* && ${#name} -gt ${#best} ]]; then best=$name; fi
    done
    printf '%s' "$best"
}

faults=0
checked=0
while IFS= read -r -d '' file; do
    rel=${file#"$root"/}
    rel=${rel#src/}
    own=$(layer_of "$rel")
    [ -n "$own" ] || continue
    checked=$((checked + 1))
    while IFS= read -r header; do
        target=$(layer_of "$header")
        [ -n "$target" ] || continue
        if [[ " ${allowed[$own]} " != *" $target "* ]]; then
            echo "$rel includes \"$header\": $own may include only ${allowed[$own]}"
            faults=$((faults + 1))
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find "$root/src" "$root/sim" "$root/cli" "$root/scpi" "$root/bridges" -name '*.cpp' -print0 -o \
              -name '*.h' -print0 2>/dev/null)

if [ "$checked" -eq 0 ]; then
    echo "no sources under $root"
    exit 1
fi
[ "$faults" -eq 0 ]
