#!/usr/bin/env bash
# Builds the library, the tools and the tests, and runs every test with CTest.
# PMR_SANITIZE=1 builds in build-asan with AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${PMR_SANITIZE:-0}" = 1 ]; then
  dir=build-asan; extra=(-DPMR_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
else
  dir=build; extra=()
fi
cmake -S . -B "$dir" -DPMR_TESTS=ON "${extra[@]}" >/dev/null
cmake --build "$dir" -j"$(nproc)"
ctest --test-dir "$dir" --output-on-failure -j"$(nproc)"
