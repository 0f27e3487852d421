#!/usr/bin/env bash
# Builds Quillmarsh and opens it on the sample trail. Without a display (no DISPLAY or
# WAYLAND_DISPLAY) it renders every screen of the sample offscreen into a folder instead and says
# where. Installs missing packages when run as root, as test.sh does.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

mkdir -p build
if ! cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/configure.log 2>&1; then
    cat build/configure.log >&2
    echo "Configuring failed (output above, also in build/configure.log)." >&2
    exit 1
fi
cmake --build build --parallel "$(nproc)" --target quillmarsh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    out="${QUILLMARSH_SNAPSHOT_DIR:-$PWD/snapshots}"
    mkdir -p "$out"
    # A throw-away alert history: the Background Monitor is shown with the sample's alerts, and
    # the user's own history is left alone.
    scratch="$(mktemp -d)"
    trap 'rm -rf "$scratch"' EXIT
    QT_QPA_PLATFORM=offscreen QUILLMARSH_SNAPSHOT_DIR="$out" QUILLMARSH_ALERTS_PATH="$scratch/alerts.json" \
        timeout 300 build/bin/quillmarsh --sample
    echo "No display found: the screens of the sample trail are in $out"
    ls "$out"
    exit 0
fi
exec build/bin/quillmarsh --sample "$@"
