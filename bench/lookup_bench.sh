#!/usr/bin/env bash
# Whole-process lookup speed of pmr and of the open peers on one word list.
#
# Every analyser reads the same input (the English word list repeated until
# it has at least BENCH_WORDS lines) on stdin and writes its answers to
# /dev/null.  For each one the table gives:
#   network    size in bytes of the network file it loads
#   start s    mean time of a run on empty input (loading the network)
#   total s    mean time of a run on the whole input (hyperfine, BENCH_RUNS runs)
#   words/s    input words / total time
#   lookup w/s input words / (total - start): the lookup rate without loading
#   cpu s      mean user + system time of a whole run
#   words/cpu-s input words / cpu time: steadier than wall time on a busy machine
#   peak MB    peak resident memory of one whole run (/usr/bin/time -f %M)
#   speed pmr/x, cpu pmr/x, mem pmr/x   pmr's words/s, words/cpu-s and peak
#              memory over the peer's
# The analysers: pmr lookup, flookup -i (foma), hfst-optimized-lookup (in
# its default output format and with -f, its fast mode),
# lt-proc -c (lttoolbox, on its own binary network; lt-proc also tokenises
# its input, which costs it a little).  Those not installed or not built are
# skipped.
#
# usage: bench/lookup_bench.sh [MODELS]   (default build/models, made by
#                                          models/english/build.sh)
# environment: PMR=path/to/pmr (default build/pmr)  BENCH_WORDS=1000000
#              BENCH_LIST=file (the word list; default MODELS/words.txt)
#              BENCH_RUNS=3  BENCH_ONLY="flookup hfst"  (a subset of
#              pmr flookup hfst ltproc)  BENCH_OUT=file (also write the table)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
models=${1:-$root/build/models}
pmr=${PMR:-$root/build/pmr}
target_words=${BENCH_WORDS:-1000000}
runs=${BENCH_RUNS:-3}
only=${BENCH_ONLY:-pmr flookup hfst ltproc}

for tool in hyperfine python3; do
  command -v "$tool" >/dev/null || { echo "lookup_bench: $tool is missing (scripts/peers-setup.sh)" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "lookup_bench: /usr/bin/time is missing (package time)" >&2; exit 1; }
list=${BENCH_LIST:-$models/words.txt}
[ -f "$list" ] || { echo "lookup_bench: $list missing (models/english/build.sh $models)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
input=$work/input.txt
empty=$work/empty.txt
: > "$empty"
distinct=$(grep -c . "$list")
copies=$(( (target_words + distinct - 1) / distinct ))
for _ in $(seq "$copies"); do cat "$list"; done > "$input"
words=$(wc -l < "$input")
# lt-proc reads a stream format: its special characters are escaped.
ltproc_input=$work/input-ltproc.txt
sed 's/[][\\^$/<>@{}*]/\\&/g' "$input" > "$ltproc_input"

# name|network file|command (reads stdin)[|input file, when not the common one]
candidates=()
wanted() { case " $only " in *" $1 "*) return 0 ;; *) return 1 ;; esac; }
if wanted pmr && [ -x "$pmr" ] && [ -f "$models/eng.pmr" ]; then
  candidates+=("pmr|$models/eng.pmr|$pmr lookup $models/eng.pmr")
fi
if wanted flookup && command -v flookup >/dev/null && [ -f "$models/eng.foma" ]; then
  candidates+=("flookup|$models/eng.foma|flookup -i $models/eng.foma")
fi
if wanted hfst && command -v hfst-optimized-lookup >/dev/null && [ -f "$models/eng.hfstol" ]; then
  candidates+=("hfst-ol|$models/eng.hfstol|hfst-optimized-lookup $models/eng.hfstol")
  # -f: its fastest mode, printing the bare analyses only (no word, no blocks)
  candidates+=("hfst-ol-f|$models/eng.hfstol|hfst-optimized-lookup -f $models/eng.hfstol")
fi
if wanted ltproc && command -v lt-proc >/dev/null && [ -e "$models/eng.automorf.bin" ]; then
  candidates+=("lt-proc|$models/eng.automorf.bin|lt-proc -c $models/eng.automorf.bin|$ltproc_input")
fi
[ ${#candidates[@]} -gt 0 ] || { echo "lookup_bench: no analyser to measure" >&2; exit 1; }

echo "load: $(cut -d' ' -f1-3 /proc/loadavg) (1, 5, 15 min)"
echo "input: $words words ($copies copies of the $distinct forms of $(basename "$list")); $runs runs each; $(nproc) cores"
rows=$work/rows.tsv
: > "$rows"
for entry in "${candidates[@]}"; do
  IFS='|' read -r name file cmd own_input <<< "$entry"
  in=${own_input:-$input}
  size=$(stat -L -c %s "$file")
  # hyperfine runs the command through sh for the redirections and takes
  # the shell's own start-up time off its figures.
  hyperfine --runs "$runs" --warmup 1 --export-json "$work/start.json" \
    "$cmd < $empty > /dev/null" >/dev/null 2>>"$work/hyperfine.log" || { cat "$work/hyperfine.log" >&2; exit 1; }
  hyperfine --runs "$runs" --warmup 1 --export-json "$work/total.json" \
    "$cmd < $in > /dev/null" >/dev/null 2>>"$work/hyperfine.log" || { cat "$work/hyperfine.log" >&2; exit 1; }
  # shellcheck disable=SC2086
  peak=$(/usr/bin/time -f %M $cmd < "$in" 2>&1 >/dev/null | tail -1)
  python3 - "$work/start.json" "$work/total.json" >> "$rows" <<PY
import json, sys
start = json.load(open(sys.argv[1]))["results"][0]
total = json.load(open(sys.argv[2]))["results"][0]
print("\t".join(map(str, ["$name", $size, start["mean"], total["mean"], total["stddev"] or 0.0,
                          total["user"] + total["system"], $peak, $words])))
PY
done

python3 - "$rows" <<'PY' | tee "${BENCH_OUT:-/dev/null}"
import sys
rows = []
for line in open(sys.argv[1]):
    name, size, start, total, sd, cpu, peak, words = line.rstrip("\n").split("\t")
    rows.append(dict(name=name, size=int(size), start=float(start), total=float(total),
                     sd=float(sd), cpu=float(cpu), peak=int(peak), words=int(words)))
for r in rows:
    r["wps"] = r["words"] / r["total"]
    r["cps"] = r["words"] / r["cpu"] if r["cpu"] > 0 else float("inf")
    lookup_time = r["total"] - r["start"]
    r["lwps"] = r["words"] / lookup_time if lookup_time > 0 else float("inf")
pmr = next((r for r in rows if r["name"] == "pmr"), None)
head = f"{'analyser':<10} {'network':>10} {'start s':>8} {'total s':>14} {'words/s':>10} {'lookup w/s':>11} {'cpu s':>7} {'words/cpu-s':>11} {'peak MB':>8}"
if pmr:
    head += f" {'speed pmr/x':>11} {'cpu pmr/x':>9} {'mem pmr/x':>9}"
print(head)
for r in rows:
    line = (f"{r['name']:<10} {r['size']:>10} {r['start']:>8.3f} {r['total']:>8.3f} ±{r['sd']:<5.3f}"
            f"{r['wps']:>10.0f} {r['lwps']:>11.0f} {r['cpu']:>7.3f} {r['cps']:>11.0f} {r['peak'] / 1024:>8.1f}")
    if pmr:
        line += (f" {pmr['wps'] / r['wps']:>11.2f} {pmr['cps'] / r['cps']:>9.2f}"
                 f" {pmr['peak'] / r['peak']:>9.2f}")
    print(line)
PY
