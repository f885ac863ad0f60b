#!/usr/bin/env bash
# Compiles the English analyser of Debian's apertium-eng-spa package with
# `pmr compile` and checks, word by word on the English word list, that
# `pmr lookup` gives exactly the analyses of `lt-proc -c` (the analyser's own
# runtime).
# Skipped (exit 77) when the analyser or lttoolbox is not installed
# (scripts/peers-setup.sh installs them).
#
# usage: bash tests/english_agreement.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: english_agreement.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
if ! command -v lt-print >/dev/null || ! command -v lt-proc >/dev/null ||
   [ ! -f /usr/share/apertium/apertium-eng-spa/eng-spa.automorf.bin ]; then
  echo "english_agreement: lttoolbox or apertium-eng-spa not installed: skipped"
  exit 77
fi
out=$build/english-agreement
PEERS=0 PMR=$build/pmr "$root/models/english/build.sh" "$out" >/dev/null
python3 "$root/bench/compare.py" --pmr "$build/pmr" --words "$out/words.txt" --sample 5 \
  --min-agreement 100 "pmr:$out/eng.pmr" "ltproc:$out/eng.automorf.bin"
