#!/usr/bin/env bash
# Installs the Debian packages Benchlord needs to build, run and test, when any is missing
# (ensure_deps.sh --fuzz: those of the fuzzing build as well).
# Quiet when everything is already present; uses sudo when not run as root.
set -euo pipefail

packages=(build-essential cmake pkg-config qt6-base-dev libudev-dev libxlsxwriter-dev
          libgtest-dev libgmock-dev libbenchmark-dev fonts-dejavu-core stm32flash libmosquitto-dev)
# A real SCPI client for the bridge's end-to-end test: PyVISA with its pure-Python back end.
packages+=(python3-pyvisa python3-pyvisa-py)
# The bridges' tests: a private MQTT broker and its clients, and promtool for the metrics.
packages+=(mosquitto mosquitto-clients prometheus)
# Packaging: man pages from the help, and the package check's validators.
packages+=(help2man file lintian desktop-file-utils appstream)
# --fuzz: also clang and its libFuzzer runtime, for the fuzzing build only.
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
