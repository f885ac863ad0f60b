#!/usr/bin/env bash
# Runs the standard agreement comparisons on the English word list and
# writes every difference to MODELS/diff-A-B.tsv:
#   pmr vs lt-proc -c, pmr vs flookup, pmr vs hfst   (when eng.pmr and pmr exist)
#   flookup vs lt-proc -c, flookup vs hfst           (the peers among themselves)
#   lt-proc (own case folding) vs lt-proc -c          (what the folding adds)
# Extra arguments go to compare.py (e.g. --words FILE, --sample 5).
#
# usage: bench/agreement.sh [MODELS] [compare.py options]   (default build/models)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
models=$root/build/models
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then models=$1; shift; fi
export PMR=${PMR:-$root/build/pmr}
words=$models/words.txt

pairs=()
if [ -x "$PMR" ] && [ -f "$models/eng.pmr" ]; then
  pairs+=("pmr:$models/eng.pmr ltproc:$models/eng.automorf.bin"
          "pmr:$models/eng.pmr flookup:$models/eng.foma"
          "pmr:$models/eng.pmr hfst:$models/eng.hfstol")
else
  echo "agreement: no pmr tool or eng.pmr: comparing the peers only" >&2
fi
pairs+=("flookup:$models/eng.foma ltproc:$models/eng.automorf.bin"
        "flookup:$models/eng.foma hfst:$models/eng.hfstol"
        "ltproc-fold:$models/eng.automorf.bin ltproc:$models/eng.automorf.bin")

status=0
for pair in "${pairs[@]}"; do
  read -r a b <<< "$pair"
  name="diff-${a%%:*}-${b%%:*}.tsv"
  echo "== ${a%%:*} vs ${b%%:*}"
  python3 "$here/compare.py" --words "$words" --diff "$models/$name" "$@" "$a" "$b" || status=1
  echo
done
exit $status
