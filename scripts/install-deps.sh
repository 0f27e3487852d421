#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing and we are root.
set -euo pipefail

packages=(cmake g++ make qt6-base-dev qt6-charts-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev python3
    dbus-daemon)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Install them with: sudo apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "Installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
