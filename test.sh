#!/bin/sh
# Installs what is missing, builds Tavelmorinth with its tests and runs every test.
# With --sanitize the build and the tests run under AddressSanitizer and
# UndefinedBehaviorSanitizer (in build-sanitize/).
set -eu
cd "$(dirname "$0")"
scripts/setup
scripts/build "$@"
dir=build
[ "${1:-}" = "--sanitize" ] && dir=build-sanitize
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
