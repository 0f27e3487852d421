#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing and we are root. The list is
# complete for a minimal Debian 12: recommended packages are not installed, so everything the build
# reaches for is named here (Qt Charts needs Qt's OpenGL development files, which Qt's base
# development package only recommends).
set -euo pipefail

# The fonts are a desktop's: the screens' fit test (ShellTextFitTest) runs against the fallback
# fonts a desktop has, not only a minimal system's one family. clang builds the fuzz targets.
packages=(cmake g++ make qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-svg-dev nlohmann-json3-dev libgtest-dev libgmock-dev
    libbenchmark-dev python3 dbus-daemon clang-format-14 clang libclang-rt-14-dev
    fonts-noto-core fonts-droid-fallback fonts-urw-base35)
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
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { apt-get update -q && apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
    cat "$log" >&2
    echo "Installing the packages failed (apt-get output above)." >&2
    exit 1
fi
