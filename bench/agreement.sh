#!/usr/bin/env bash
# Runs the standard agreement comparisons on the English word list and
# writes every difference to MODELS/diff-A-B.tsv:
#   pmr vs lt-proc -c, pmr vs flookup, pmr vs hfst   (when eng.pmr and pmr exist)
#   flookup vs lt-proc -c, flookup vs hfst           (the peers among themselves)
#   lt-proc (own case folding) vs lt-proc -c          (what the folding adds)
# On MODELS/mixed.txt (tokens with non-letters), when it exists: pmr vs
# flookup -i and flookup vs lt-proc -c.
# And, when MODELS/net-surfaces.txt and net-analyses.txt exist (made by
# bench/network_words.sh; AGREE_NETWORK=1 makes them), every path of the main
# dictionary: pmr vs flookup -i on the surfaces, pmr --inverse vs flookup on
# the analyses (results outside Windows-1252 left out).
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
run_pair() {  # WORDS TAG A B [options]
  local list=$1 tag=$2 a=$3 b=$4
  shift 4
  local name="diff-${tag}${a%%:*}-${b%%:*}.tsv"
  echo "== ${a%%:*} vs ${b%%:*} on $(basename "$list")"
  python3 "$here/compare.py" --words "$list" --diff "$models/$name" "$@" "$a" "$b" || status=1
  echo
}
for pair in "${pairs[@]}"; do
  read -r a b <<< "$pair"
  run_pair "$words" "" "$a" "$b" "$@"
done

if [ -f "$models/mixed.txt" ]; then
  if [ -x "$PMR" ] && [ -f "$models/eng.pmr" ]; then
    run_pair "$models/mixed.txt" mixed- "pmr:$models/eng.pmr" "flookup:$models/eng.foma" "$@"
  fi
  run_pair "$models/mixed.txt" mixed- "flookup:$models/eng.foma" "ltproc:$models/eng.automorf.bin" "$@"
fi

if [ "${AGREE_NETWORK:-0}" = 1 ] && [ ! -f "$models/net-surfaces.txt" ]; then
  "$here/network_words.sh" "$models"
fi
if [ -f "$models/net-surfaces.txt" ] && [ -x "$PMR" ] && [ -f "$models/eng.pmr" ]; then
  run_pair "$models/net-surfaces.txt" net- "pmr:$models/eng.pmr" "flookup:$models/eng.foma" --only-cp1252 "$@"
  run_pair "$models/net-analyses.txt" net- "pmr-gen:$models/eng.pmr" "flookup-gen:$models/eng.foma" --only-cp1252 "$@"
fi
exit $status
