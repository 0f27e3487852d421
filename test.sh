#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each over its seeds, builds Quillmarsh and runs every
# test, then builds everything again with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test once more. Installs missing packages when run as root.
#   ./test.sh [-j N]      N parallel jobs (default: $QUILLMARSH_JOBS, else every core)
set -euo pipefail
cd "$(dirname "$0")"

jobs=${QUILLMARSH_JOBS:-$(nproc)}
while [ $# -gt 0 ]; do
    case "$1" in
        -j) jobs=${2:-}; shift 2 || shift ;;
        -j*) jobs=${1#-j}; shift ;;
        *) echo "usage: $0 [-j N]" >&2; exit 2 ;;
    esac
done
case "$jobs" in
    ''|*[!0-9]*|0) echo "The job count must be a positive whole number, not \"$jobs\"." >&2; exit 2 ;;
esac

scripts/install-deps.sh

# Unformatted sources fail the run before anything is built.
scripts/check-format

export TZ=UTC LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen

# Configure output is kept quiet unless configuring fails; then all of it is shown.
configure() {
    local dir=$1; shift
    mkdir -p "$dir"
    if ! cmake -S . -B "$dir" "$@" >"$dir/configure.log" 2>&1; then
        cat "$dir/configure.log" >&2
        echo "Configuring $dir failed (output above, also in $dir/configure.log)." >&2
        exit 1
    fi
}

build() {
    local dir=$1
    if ! cmake --build "$dir" --parallel "$jobs" 2>&1 | tee "$dir/build.log"; then
        echo "Building $dir failed (output above, also in $dir/build.log)." >&2
        exit 1
    fi
}

started=$(date +%s)

# The fuzz targets, built with clang and each run once over its seed corpus: a harness that no
# longer compiles, or a seed that now crashes one, fails the run before the long builds start.
# Built without optimisation or debug information, which only a fuzzing campaign needs.
fuzz_targets=(ParserFuzz StreamFuzz AnalysisFuzz ExportFuzz FormatterFuzz AlertHistoryFuzz)
configure build-fuzz -DQUILLMARSH_FUZZ=ON -DQUILLMARSH_ENGINE_ONLY=ON -DQUILLMARSH_BENCH=OFF -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=FuzzReplay -DCMAKE_CXX_FLAGS_FUZZREPLAY=-O0
if ! cmake --build build-fuzz --parallel "$jobs" --target "${fuzz_targets[@]}" >build-fuzz/build.log 2>&1; then
    cat build-fuzz/build.log >&2
    echo "Building the fuzz targets failed (output above, also in build-fuzz/build.log)." >&2
    exit 1
fi
echo "== fuzz targets over their seeds"
for target in "${fuzz_targets[@]}"; do
    # The stream reader takes trails too, cut where its first bytes say.
    case $target in
        StreamFuzz) seeds=fuzz/corpus/parser ;;
        AlertHistoryFuzz) seeds=fuzz/corpus/alert-history ;;
        *) seeds=fuzz/corpus/$(echo "${target%Fuzz}" | tr '[:upper:]' '[:lower:]') ;;
    esac
    if [ ! -d "$seeds" ] || [ -z "$(ls -A "$seeds")" ]; then
        echo "The fuzz target $target has no seeds in $seeds." >&2
        exit 1
    fi
    if ! build-fuzz/bin/"$target" -runs=0 -artifact_prefix=build-fuzz/ "$seeds" >build-fuzz/"$target".log 2>&1; then
        cat build-fuzz/"$target".log >&2
        echo "$target failed on a seed in $seeds (output above)." >&2
        exit 1
    fi
    echo "$target: $(ls "$seeds" | wc -l) seeds"
done

configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
build build
echo "== all tests"
ctest --test-dir build --output-on-failure --parallel "$jobs"

# The sanitizer options hold for the test runs and for the test listing done while building.
# Leak reports Qt or a system library may need suppressed go in tests/sanitizers/lsan.supp.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
configure build-sanitize -DCMAKE_BUILD_TYPE=Debug -DQUILLMARSH_SANITIZE=ON -DQUILLMARSH_BENCH=OFF
build build-sanitize
echo "== all tests under ASan/UBSan"
ctest --test-dir build-sanitize --output-on-failure --parallel "$jobs"
echo "== passed in $(( $(date +%s) - started )) s"
