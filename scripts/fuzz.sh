#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (plus AddressSanitizer and
# UBSan) straight from the library sources and runs each for a while.
#
#   scripts/fuzz.sh [seconds] [target...]     (default: 120 s, every target)
#
# Each target runs on a copy of the saved inputs at the top of
# fuzz/corpus/<target>/ in build-fuzz/; inputs that crash, leak or run out of
# memory are copied back into fuzz/corpus/<target>/, inputs that time out into
# fuzz/corpus/<target>/slow/, so that the replay tests (which read the
# subdirectories too) keep them while later fuzzing runs do not stall on them.
# fsm_fuzz also gets freshly generated transducer files from fuzz/make_seeds.cpp
# in its working copy. Set PMR_FUZZ_BUILD to use another build directory and
# PMR_FUZZ_FLAGS to pass more libFuzzer options.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-120}
shift $(( $# > 0 ? 1 : 0 ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=()
  for f in fuzz/*_fuzz.cpp; do targets+=("$(basename "$f" .cpp)"); done
fi
build=${PMR_FUZZ_BUILD:-$root/build-fuzz}
mkdir -p "$build/obj"

have_libfuzzer() {
  command -v clang++ >/dev/null || return 1
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    >"$build/probe.cpp"
  clang++ -fsanitize=fuzzer "$build/probe.cpp" -o "$build/probe" 2>/dev/null
}
if ! have_libfuzzer; then
  echo "installing clang and libFuzzer"
  apt-get update -qq
  apt-get install -y -qq clang libclang-rt-dev || apt-get install -y -qq clang libclang-rt-14-dev
  have_libfuzzer || { echo "clang with -fsanitize=fuzzer is not usable" >&2; exit 1; }
fi

cxx=(clang++ -std=c++20 -g -O1 -fno-omit-frame-pointer -Iinclude -Isrc -Itools/writer -Itests)
sanitize=(-fsanitize=address,undefined -fno-sanitize-recover=undefined)

# Library (and, where present, writer) sources, compiled once per change.
compile_objects() {
  local out=$1; shift
  local objs=()
  for src in "$@"; do
    local obj="$build/obj/$out-$(basename "$src" .cpp).o"
    if [ ! -f "$obj" ] || [ "$src" -nt "$obj" ] || [ -n "$(find src tools/writer -name '*.h' -newer "$obj" 2>/dev/null)" ]; then
      "${cxx[@]}" "${sanitize[@]}" -fsanitize=fuzzer-no-link -c "$src" -o "$obj" || return 1
    fi
    objs+=("$obj")
  done
  printf '%s\n' "${objs[@]}"
}
lib_objs=$(compile_objects lib src/*.cpp) || { echo "library build failed" >&2; exit 1; }
# The writer is needed only for the generated transducer seeds.
writer_objs=""
if compgen -G "tools/writer/*.cpp" >/dev/null; then
  writer_objs=$(compile_objects writer tools/writer/*.cpp) ||
    { echo "writer build failed: no generated seeds this time" >&2; writer_objs=""; }
fi

# Transducer files for fsm_fuzz, written by our own writer and compiler.
make_seeds() {
  local dir=$1
  [ -f fuzz/make_seeds.cpp ] && [ -n "$writer_objs" ] || return 0
  # shellcheck disable=SC2086
  "${cxx[@]}" "${sanitize[@]}" fuzz/make_seeds.cpp $writer_objs $lib_objs -o "$build/make_seeds" &&
    "$build/make_seeds" "$dir"
}

status=0
for target in "${targets[@]}"; do
  echo "== $target: building"
  # shellcheck disable=SC2086
  if ! "${cxx[@]}" "${sanitize[@]}" -fsanitize=fuzzer "fuzz/$target.cpp" $lib_objs \
       -o "$build/$target"; then
    echo "$target: build failed" >&2; status=1; continue
  fi
  work="$build/corpus-$target"; artifacts="$build/artifacts-$target"
  mkdir -p "$work" "$artifacts" "fuzz/corpus/$target"
  find "fuzz/corpus/$target" -maxdepth 1 -type f -exec cp -n {} "$work"/ \;
  [ "$target" = fsm_fuzz ] && make_seeds "$work"
  echo "== $target: fuzzing for $seconds s"
  # shellcheck disable=SC2086
  "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" ${PMR_FUZZ_FLAGS:-} "$work"
  rc=$?
  found=0
  # Slow units are only reported; the others become regression inputs.
  for f in "$artifacts"/crash-* "$artifacts"/leak-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
    [ -f "$f" ] || continue
    keep="fuzz/corpus/$target"
    case "$(basename "$f")" in timeout-*) keep="$keep/slow"; mkdir -p "$keep" ;; esac
    cp "$f" "$keep/$(basename "$f")" && rm -f "$f"
    echo "$target: kept $(basename "$f") in $keep/"
    found=1
  done
  [ $rc -ne 0 ] || [ $found -ne 0 ] && status=1
done
exit $status
