#!/usr/bin/env bash
# Builds Quillmarsh and runs every test, then runs the engine's tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer. Installs missing packages when run as root.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

jobs=$(nproc)
export TZ=UTC LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$jobs"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUILLMARSH_SANITIZE=ON -DQUILLMARSH_ENGINE_ONLY=ON >/dev/null
cmake --build build-sanitize --parallel "$jobs"

echo "== engine tests under ASan/UBSan"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-sanitize --output-on-failure --parallel "$jobs"
echo "== all tests"
ctest --test-dir build --output-on-failure --parallel "$jobs"
