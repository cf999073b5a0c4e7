#!/usr/bin/env bash
# Sets everything up and runs every test: the normal build, then the same suite under
# AddressSanitizer with UndefinedBehaviorSanitizer, then the threaded tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen

scripts/setup.sh build
(cd build && ctest --output-on-failure)

scripts/setup.sh build-asan -DFRAMELOOM_SANITIZE=ON -DFRAMELOOM_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure)

scripts/setup.sh build-tsan -DFRAMELOOM_TSAN=ON -DFRAMELOOM_BUILD_BENCH=OFF
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -L threads)
