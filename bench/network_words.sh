#!/usr/bin/env bash
# Lists every path of the main dictionary of the English analyser (the
# largest section of the lt-print dump; the others hold cycles over digits)
# with hfst-fst2strings, and writes the distinct sides as two word lists:
#   MODELS/net-surfaces.txt   surface forms   (for analysis: pmr vs flookup -i)
#   MODELS/net-analyses.txt   analyses, tags <n>  (for generation: pmr-gen vs flookup-gen)
# Forms with characters outside Windows-1252 are left out.  Takes about a
# minute and a half.
#
# usage: bench/network_words.sh [MODELS]     (default build/models)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
models=${1:-$root/build/models}
[ -f "$models/eng-sections.att" ] || { echo "network_words: run models/english/build.sh $models first" >&2; exit 1; }
command -v hfst-fst2strings >/dev/null || { echo "network_words: hfst is missing (scripts/peers-setup.sh)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The section with the most lines is the dictionary.
awk 'BEGIN { s = 1 } /^--$/ { s++; next } { n[s]++; line[s, n[s]] = $0 }
     END { best = 1; for (i = 1; i <= s; i++) if (n[i] > n[best]) best = i
           for (j = 1; j <= n[best]; j++) print line[best, j] }' \
  "$models/eng-sections.att" > "$work/main.att"
hfst-txt2fst -i "$work/main.att" -o "$work/main.hfst"
hfst-fst2strings -c 0 "$work/main.hfst" > "$work/pairs.txt"
python3 - "$work/pairs.txt" "$models/net-surfaces.txt" "$models/net-analyses.txt" <<'PY'
import sys

def halves(line):
    """Splits "surface:analysis" at the first ':' that is not escaped."""
    i = 0
    while i < len(line):
        if line[i] == "\\":
            i += 2
            continue
        if line[i] == ":":
            return line[:i], line[i + 1:]
        i += 1
    return None

def unescape(text):
    out, i = [], 0
    while i < len(text):
        if text[i] == "\\" and i + 1 < len(text):
            out.append(text[i + 1]); i += 2
        else:
            out.append(text[i]); i += 1
    return "".join(out)

def fits(text):
    try:
        text.encode("cp1252")
        return "\t" not in text and text != ""
    except UnicodeEncodeError:
        return False

surfaces, analyses = {}, {}
paths = 0
with open(sys.argv[1], encoding="utf-8") as f:
    for line in f:
        parts = halves(line.rstrip("\n"))
        if parts is None:
            continue
        paths += 1
        s, a = unescape(parts[0]), unescape(parts[1])
        if fits(s):
            surfaces.setdefault(s, None)
        if fits(a):
            analyses.setdefault(a, None)
for path, table in ((sys.argv[2], surfaces), (sys.argv[3], analyses)):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.writelines(w + "\n" for w in table)
print(f"network_words: {paths} paths, {len(surfaces)} surface forms, "
      f"{len(analyses)} analyses", file=sys.stderr)
PY
