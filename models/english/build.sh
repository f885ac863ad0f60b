#!/usr/bin/env bash
# Builds the English analyser in every form the project uses, from the
# lttoolbox analyser of Debian's apertium-eng-spa package:
#   OUT/eng-sections.att  lt-print's dump (one AT&T block per section)
#   OUT/eng.att           the sections joined into one network (att_merge.py),
#                         HFST escapes ("@0@", "@_SPACE_@")
#   OUT/eng-foma.att      the same with literal spaces, as foma reads them
#   OUT/eng.pmr           eng-sections.att compiled with `pmr compile` (when pmr is built)
#   OUT/eng.foma          foma's network of eng.att        (when foma is installed)
#   OUT/eng.hfstol        HFST optimized-lookup network    (when hfst is installed)
#   OUT/eng.automorf.bin  link to the original lttoolbox network (for lt-proc)
#   OUT/words.txt         the English test word list (models/english/words.txt)
#   OUT/mixed.txt         tokens with non-letters (wordlist.sh --mixed; needs fortunes)
# Analysis direction everywhere: surface word in, "lemma<tag>..." out; foma
# holds the surface on its upper side, so it is looked up with `flookup -i`.
#
# usage: build.sh [OUT]          (default: build/models)
# environment: PMR=path/to/pmr   the pmr tool (default: build/pmr, then PATH)
#              ENG_BIN=file      another lttoolbox analyser to start from
#              PEERS=0           skip the foma and HFST networks
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:-$root/build/models}
mkdir -p "$out"
out=$(cd "$out" && pwd)

find_analyser() {
  if [ -n "${ENG_BIN:-}" ]; then echo "$ENG_BIN"; return; fi
  local f
  for f in /usr/share/apertium/apertium-eng-spa/eng-spa.automorf.bin \
           /usr/share/apertium/apertium-en-es/en-es.automorf.bin; do
    [ -f "$f" ] && { echo "$f"; return; }
  done
  return 1
}

find_pmr() {
  if [ -n "${PMR:-}" ]; then echo "$PMR"; return; fi
  if [ -x "$root/build/pmr" ]; then echo "$root/build/pmr"; return; fi
  command -v pmr 2>/dev/null || return 1
}

bin=$(find_analyser) || {
  echo "build.sh: the English analyser is missing (run scripts/peers-setup.sh)" >&2; exit 1; }
command -v lt-print >/dev/null || {
  echo "build.sh: lt-print is missing (package lttoolbox-dev; run scripts/peers-setup.sh)" >&2; exit 1; }

ln -sf "$bin" "$out/eng.automorf.bin"
cp "$here/words.txt" "$out/words.txt"
if [ -d /usr/share/games/fortunes ] || [ -n "${FORTUNES_DIR:-}" ]; then
  "$here/wordlist.sh" --mixed "$out/mixed.txt" 2>/dev/null || echo "build.sh: mixed.txt not made" >&2
fi

# lt-print writes the empty symbol as "ε" and spaces literally; -H gives the
# HFST escapes "@0@" and "@_SPACE_@" instead.  Both describe the same arcs;
# the merge reads either and writes the escapes.
lt-print -H "$bin" > "$out/eng-sections.att"
python3 "$here/att_merge.py" --dialect hfst "$out/eng-sections.att" "$out/eng.att"
python3 "$here/att_merge.py" --dialect plain "$out/eng-sections.att" "$out/eng-foma.att"

if pmr=$(find_pmr); then
  # Symbols outside Windows-1252 (a few letters of foreign names and the
  # modifier-letter apostrophe) have no 8-bit code: their arcs are left out.
  # The compiler takes the sections as they are; given the joined network
  # (a start state with an empty arc into each section) it writes the same
  # language into a file ten times larger (692,854 arcs instead of 120,350).
  # The file carries the analyser's origin and package version; the creation
  # date is that of the package's analyser, so the build is reproducible.
  pkg_version=$(dpkg-query -W -f='${Version}' apertium-eng-spa 2>/dev/null || echo unknown)
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(stat -c %Y "$bin")} \
  "$pmr" compile "$out/eng-sections.att" -o "$out/eng.pmr" --format att --skip-unmappable \
    --copyright "English analyser from Debian's apertium-eng-spa $pkg_version, GNU GPL 3" \
    --version-text "eng-spa-${pkg_version//[^0-9A-Za-z.]/.}"
  echo "build.sh: $out/eng.pmr"
else
  echo "build.sh: no pmr tool yet (build it, or set PMR=...): eng.pmr not made" >&2
fi

if [ "${PEERS:-1}" != 0 ]; then
  if command -v foma >/dev/null; then
    foma -q -e "read att $out/eng-foma.att" -e "save stack $out/eng.foma" -e quit >/dev/null
    echo "build.sh: $out/eng.foma"
  fi
  if command -v hfst-txt2fst >/dev/null; then
    hfst-txt2fst -i "$out/eng.att" -o "$out/eng.hfst"
    hfst-fst2fst -O -i "$out/eng.hfst" -o "$out/eng.hfstol"
    rm -f "$out/eng.hfst"
    echo "build.sh: $out/eng.hfstol"
  fi
fi
