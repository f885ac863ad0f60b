#!/usr/bin/env bash
# Writes the English test word list: the distinct word forms of the running
# English text of Debian's fortune cookie files (packages fortunes-min and
# fortunes), one per line, most frequent first (ties in code point order).
# A word form is a maximal run of letters, case kept; digits, apostrophes
# and hyphens end a word.  Lines whose UTF-8 was stored twice ("donâ€™t")
# are repaired first (also when stored so more than once).  Forms with a character outside Windows-1252 are left
# out, so that every form can be given to an 8-bit analyser.
#
# With --mixed it writes instead the 3,000 most frequent whitespace-separated
# tokens (outer quotes, brackets and punctuation taken off) that hold a
# character other than a letter ("don't", "well-known", "C++", "<dark>"),
# plus plain numbers: the cases where analysers that tokenise differ.
#
# usage: wordlist.sh [--mixed] [OUT]     (default: build/models/words.txt,
#                                         with --mixed build/models/mixed.txt)
#        FORTUNES_DIR=... wordlist.sh OUT   to read another fortune directory
set -euo pipefail
mode=words
if [ "${1:-}" = --mixed ]; then mode=mixed; shift; fi
out=${1:-build/models/$mode.txt}
dir=${FORTUNES_DIR:-/usr/share/games/fortunes}
if [ ! -d "$dir" ]; then
  echo "wordlist.sh: $dir not found (install fortunes-min and fortunes: scripts/peers-setup.sh)" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")"
python3 - "$dir" "$out" "$mode" <<'PY'
import collections, os, re, sys

source, target, mode = sys.argv[1], sys.argv[2], sys.argv[3]
SKIP = {"ascii-art"}          # pictures, not text
WORD = re.compile(r"[^\W\d_]+")
LETTER = re.compile(r"[^\W\d_]")
NUMBER = re.compile(r"\d+")
MIXED_COUNT = 3000

def mixed_tokens(line):
    """Tokens between blanks that are more than a run of letters."""
    for token in line.split():
        token = token.strip('"()[]{},;:!?`*_').rstrip(".")
        if not token:
            continue
        if NUMBER.fullmatch(token) or (LETTER.search(token) and not WORD.fullmatch(token)):
            yield token

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
            line = repaired(line)
            counts.update(WORD.findall(line) if mode == "words" else mixed_tokens(line))
words = sorted((w for w in counts if fits_cp1252(w)), key=lambda w: (-counts[w], w))
if mode == "mixed":
    words = words[:MIXED_COUNT]
with open(target, "w", encoding="utf-8", newline="\n") as f:
    for w in words:
        f.write(w + "\n")
print(f"wordlist.sh: {len(words)} {'tokens' if mode == 'mixed' else 'word forms'} from {sum(counts.values())} words "
      f"in {len(names)} files -> {target}", file=sys.stderr)
PY
