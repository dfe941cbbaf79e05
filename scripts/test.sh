#!/usr/bin/env bash
# The whole test suite: set-up, then a release build and an address/undefined
# sanitizer build, each built and run through ctest, the threading test under
# ThreadSanitizer, and the Windows module cross-built with MinGW-w64 with its
# tests under Wine.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh

jobs=$(nproc)

# run_config NAME CMAKE_ARGS...: builds and tests one configuration. Optional
# variables for the call: targets (build only these) and tests (a ctest -R
# pattern).
run_config() {
    local name=$1; shift
    local build_args=() test_args=()
    [ -z "${targets:-}" ] || build_args=(--target ${targets})
    [ -z "${tests:-}" ] || test_args=(-R "${tests}")
    echo "=== $name build ==="
    mkdir -p build
    local log="build/$name.log"
    if ! { cmake -S . -B "build/$name" -DCMAKE_BUILD_TYPE=Release "$@" &&
           cmake --build "build/$name" -j "$jobs" "${build_args[@]}"; } >"$log" 2>&1; then
        cat "$log"
        echo "$name build failed" >&2
        return 1
    fi
    echo "=== $name tests ==="
    ctest --test-dir "build/$name" --output-on-failure -j "$jobs" "${test_args[@]}"
}

run_config release
run_config asan -DHUSHKIT_SANITIZE=address -DHUSHKIT_BENCH=OFF
# ThreadSanitizer: the programs that exercise the threads.
targets=processor_thread_tests tests='^ProcessorThreads\.' \
    run_config tsan -DHUSHKIT_SANITIZE=thread -DHUSHKIT_BENCH=OFF
# Windows: Wine in a throw-away prefix and a virtual display of its own, both
# stopped again however the run ends.
source scripts/wine-env.sh
trap wine_env_stop EXIT
trap 'exit 130' INT TERM
wine_env_start build/windows
run_config windows -DCMAKE_TOOLCHAIN_FILE=cmake/MinGW.cmake
