#!/usr/bin/env bash
# Writes the English test word list: the distinct word forms of the running
# English text of Debian's fortune cookie files (packages fortunes-min and
# fortunes), one per line, most frequent first (ties in code point order).
# A word form is a maximal run of letters, case kept; digits, apostrophes
# and hyphens end a word.  Lines whose UTF-8 was stored twice ("donâ€™t")
# are repaired first (also when stored so more than once).  Forms with a character outside Windows-1252 are left
# out, so that every form can be given to an 8-bit analyser.
#
# usage: wordlist.sh [OUT]     (default: build/models/words.txt)
#        FORTUNES_DIR=... wordlist.sh OUT   to read another fortune directory
set -euo pipefail
out=${1:-build/models/words.txt}
dir=${FORTUNES_DIR:-/usr/share/games/fortunes}
if [ ! -d "$dir" ]; then
  echo "wordlist.sh: $dir not found (install fortunes-min and fortunes: scripts/peers-setup.sh)" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
python3 - "$dir" "$out" <<'PY'
import collections, os, re, sys

source, target = sys.argv[1], sys.argv[2]
SKIP = {"ascii-art"}          # pictures, not text
WORD = re.compile(r"[^\W\d_]+")

def repaired_once(line):
    """Undoes UTF-8 that was decoded as Windows-1252 and encoded again."""
    for charset in ("cp1252", "latin-1"):
        try:
            return line.encode(charset).decode("utf-8")
        except (UnicodeEncodeError, UnicodeDecodeError):
            pass
    return line

def repaired(line):
    """Repairs text that went through that mistake more than once."""
    for _ in range(3):
        if line.isascii():
            break
        fixed = repaired_once(line)
        if fixed == line:
            break
        line = fixed
    return line

def fits_cp1252(word):
    try:
        word.encode("cp1252")
        return True
    except UnicodeEncodeError:
        return False

counts = collections.Counter()
names = sorted(n for n in os.listdir(source)
               if not n.endswith((".dat", ".u8")) and n not in SKIP
               and os.path.isfile(os.path.join(source, n))
               and not os.path.islink(os.path.join(source, n)))
for name in names:
    with open(os.path.join(source, name), encoding="utf-8", errors="replace") as f:
        for line in f:
            counts.update(WORD.findall(repaired(line)))
words = sorted((w for w in counts if fits_cp1252(w)), key=lambda w: (-counts[w], w))
with open(target, "w", encoding="utf-8", newline="\n") as f:
    for w in words:
        f.write(w + "\n")
print(f"wordlist.sh: {len(words)} word forms from {sum(counts.values())} words "
      f"in {len(names)} files -> {target}", file=sys.stderr)
PY
