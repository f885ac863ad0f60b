#!/bin/bash
# fstread_internals.sh - builds and runs tests/internal/fstread_internals.cpp,
# the white-box tests of the reader's internal services. The shared library
# hides those symbols, so the program is compiled from the reader's and the
# writer's sources, with the compiler and sanitizer setting of the build.
#
# usage: bash tests/fstread_internals.sh BUILD_DIR
set -eu

build_dir=$(cd "${1:?usage: fstread_internals.sh BUILD_DIR}" && pwd)
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cache="$build_dir/CMakeCache.txt"

cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$cache" 2>/dev/null || true)
cxx=${cxx:-c++}
flags=(-std=c++20 -O1 -g -Wall -Wextra -Werror)
if grep -q '^PMR_SANITIZE:BOOL=ON' "$cache" 2>/dev/null; then
  flags+=(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
fi

program="$build_dir/fstread_internals"
"$cxx" "${flags[@]}" \
  -I"$source_dir/include" -I"$source_dir/src" -I"$source_dir/tools/writer" -I"$source_dir/tests" \
  "$source_dir/tests/internal/fstread_internals.cpp" "$source_dir/src/fstread.cpp" \
  "$source_dir/tools/writer/fstwrite.cpp" -lgtest -lgtest_main -pthread -o "$program"
"$program"
