#!/usr/bin/env python3
"""Word-by-word agreement of two morphological analysers.

Runs the same word list through two analysers, reads each one's output into
a set of analyses per word, and compares the sets.  Analysers are named
KIND:FILE:

  pmr:FILE        pmr lookup FILE            (word TAB analysis blocks)
  flookup:FILE    flookup -i FILE            (foma; -i: surface side is upper)
  hfst:FILE       hfst-optimized-lookup FILE (word TAB analysis [TAB weight])
  ltproc:FILE     lt-proc -c FILE            (stream ^word/a1/a2$, case as given)
  ltproc-fold:FILE  lt-proc FILE             (its own upper/lower case folding)
and, for the other direction (analysis in, surface words out):
  pmr-gen:FILE    pmr lookup --inverse FILE  (tags given as [n])
  flookup-gen:FILE  flookup FILE             (tags given as <n>)
  hfst-gen:FILE   hfst-optimized-lookup FILE, FILE being an inverted network
The words of the list may write tags either way; each tool gets its own.

Analyses are normalised before comparing: tags written <n> become [n]; a
missing analysis ("+?", lt-proc's "*word") is the empty set.  Words that
lt-proc does not take as one unit (it cuts them into several, or passes
some characters through unanalysed) are counted apart ("split") and
compared as having no whole-word analysis.

usage: compare.py [--words FILE] [--diff FILE] [--sample N] [--pmr PATH] A B
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
from collections import Counter

TAG = re.compile(r"<([^<>]+)>")


def normalise(analysis):
    """Tags in one notation: "<n>" -> "[n]"."""
    return TAG.sub(r"[\1]", analysis)


# ---------------------------------------------------------------- parsers

def parse_tab_blocks(text, words, kind, sent=None):
    """Reads "word TAB analysis" lines in blocks closed by an empty line, one
    block per input word in input order (pmr, flookup, hfst).  sent: the
    words as the tool was given them (they are echoed so), when not words."""
    sent = sent or words
    results = []
    block = []
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    for line in lines:
        if line == "":
            if block:
                results.append(block)
                block = []
            continue
        block.append(line)
    if block:
        results.append(block)
    if len(results) != len(words):
        raise SystemExit(f"compare: {kind} gave {len(results)} answers for {len(words)} words")
    table = {}
    for word, given, block in zip(words, sent, results):
        analyses = set()
        for line in block:
            fields = line.split("\t")
            if fields[0] != given:
                raise SystemExit(f"compare: {kind} answered {fields[0]!r} for {given!r}")
            if fields[-1] == "+?":
                continue
            if len(fields) < 2:
                raise SystemExit(f"compare: {kind}: cannot read line {line!r}")
            analyses.add(normalise(fields[1]))
        table[word] = analyses
    return table


def split_units(line):
    """Cuts one line of lt-proc's stream into the bodies of its ^...$ units,
    undoing the backslash escapes; also returns the text between the units
    (blanks and characters that lt-proc passed through unanalysed)."""
    units, outside = [], []
    body = None
    i = 0
    while i < len(line):
        c = line[i]
        if c == "\\" and i + 1 < len(line):
            (outside if body is None else body).append(("lit", line[i + 1]))
            i += 2
            continue
        if body is None:
            if c == "^":
                body = []
            else:
                outside.append(("lit", c))
        elif c == "$":
            units.append(body)
            body = None
        else:
            body.append(("sep" if c == "/" else "lit", c))
        i += 1
    return units, "".join(c for _, c in outside)


def unit_fields(body):
    """The surface and the analyses of one unit body."""
    fields = [[]]
    for kind, c in body:
        if kind == "sep":
            fields.append([])
        else:
            fields[-1].append(c)
    return ["".join(f) for f in fields]


def parse_ltproc(text, words):
    """One output line per input line; each holds the units lt-proc found."""
    lines = text.split("\n")
    if len(lines) < len(words):
        raise SystemExit(f"compare: lt-proc gave {len(lines)} lines for {len(words)} words")
    table, split = {}, set()
    for word, line in zip(words, lines):
        units, outside = split_units(line)
        if len(units) != 1 or outside.strip():
            split.add(word)
            table[word] = set()
            continue
        fields = unit_fields(units[0])
        analyses = {normalise(a) for a in fields[1:] if not a.startswith("*")}
        table[word] = analyses
    return table, split


# ---------------------------------------------------------------- runners

LTPROC_SPECIAL = set("\\[]^$/<>@{}*")


def escape_for_ltproc(word):
    """lt-proc reads a stream format: "[...]" is a blank block, "\\" escapes;
    its special characters are escaped to reach it as plain text."""
    return "".join("\\" + c if c in LTPROC_SPECIAL else c for c in word)

BRACKET_TAG = re.compile(r"\[([^\[\]]+)\]")


def input_for(kind, word):
    """The word as one tool is given it: tags in its own notation."""
    if kind == "pmr-gen":
        return normalise(word)
    if kind in ("flookup-gen", "hfst-gen"):
        return BRACKET_TAG.sub(r"<\1>", word)
    if kind.startswith("ltproc"):
        return escape_for_ltproc(word)
    return word


def command_for(kind, path, pmr):
    if kind == "pmr":
        return [pmr, "lookup", path]
    if kind == "pmr-gen":
        return [pmr, "lookup", "--inverse", path]
    if kind == "flookup-gen":
        return ["flookup", path]
    if kind == "hfst-gen":
        return ["hfst-optimized-lookup", path]
    if kind == "flookup":
        return ["flookup", "-i", path]
    if kind == "hfst":
        return ["hfst-optimized-lookup", path]
    if kind == "ltproc":
        return ["lt-proc", "-c", path]
    if kind == "ltproc-fold":
        return ["lt-proc", path]
    raise SystemExit(f"compare: unknown analyser kind {kind!r}")


def analyse(analyser, words, pmr):
    """Runs one analyser over the words: (table word -> set, split words)."""
    kind, sep, path = analyser.partition(":")
    if not sep or not path:
        raise SystemExit(f"compare: analyser {analyser!r} is not KIND:FILE")
    if not os.path.exists(path):
        raise SystemExit(f"compare: {path} not found")
    cmd = command_for(kind, path, pmr)
    if shutil.which(cmd[0]) is None and not os.path.exists(cmd[0]):
        raise SystemExit(f"compare: {cmd[0]} not found")
    lines = [input_for(kind, w) for w in words]
    data = "".join(w + "\n" for w in lines).encode("utf-8")
    run = subprocess.run(cmd, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    # pmr lookup answers a word whose lookup fails with "+?", says why on
    # standard error, goes on and exits with 1 at the end.
    failures = run.stderr.decode("utf-8", "replace").splitlines()
    if (kind.startswith("pmr") and run.returncode == 1 and failures
            and all(line.startswith("pmr: ") for line in failures)):
        print(f"note: {kind} could not look up {len(failures)} words, e.g. {failures[0]}",
              file=sys.stderr)
    elif run.returncode != 0:
        raise SystemExit(f"compare: {' '.join(cmd)} failed ({run.returncode}): "
                         f"{run.stderr.decode('utf-8', 'replace')[:500]}")
    text = run.stdout.decode("utf-8", "replace")
    if kind.startswith("ltproc"):
        return parse_ltproc(text, words)
    return parse_tab_blocks(text, words, kind, lines), set()


# ---------------------------------------------------------------- compare

def classify(a, b):
    if a == b:
        return "same, no analysis" if not a else "same analyses"
    if not a:
        return "only B analyses"
    if not b:
        return "only A analyses"
    if a < b:
        return "A subset of B"
    if b < a:
        return "B subset of A"
    return "different sets"


def read_words(path):
    with open(path, encoding="utf-8") as f:
        words = [line.rstrip("\n") for line in f]
    words = [w for w in words if w]
    seen, unique = set(), []
    for w in words:
        if w not in seen:
            seen.add(w)
            unique.append(w)
    return unique


def fits_cp1252(text):
    try:
        text.encode("cp1252")
        return True
    except UnicodeEncodeError:
        return False


def keep_cp1252(table):
    """Drops the results that an 8-bit Windows-1252 network cannot hold."""
    return {w: {x for x in results if fits_cp1252(x)} for w, results in table.items()}


def compare(words, a, b):
    classes = Counter()
    diffs = []
    for w in words:
        cls = classify(a[w], b[w])
        classes[cls] += 1
        if not cls.startswith("same"):
            diffs.append((w, cls, sorted(a[w] - b[w]), sorted(b[w] - a[w])))
    return classes, diffs


def report(args, words, classes, diffs, splits, out):
    total = len(words)
    agree = classes["same analyses"] + classes["same, no analysis"]
    out.write(f"A = {args.a}\nB = {args.b}\n")
    out.write(f"words: {total}\n")
    out.write(f"agreement: {agree}/{total} = {100.0 * agree / total:.3f}%\n")
    for cls in ("same analyses", "same, no analysis", "only A analyses", "only B analyses",
                "A subset of B", "B subset of A", "different sets"):
        out.write(f"  {cls:<18} {classes[cls]:>7}\n")
    for side, split in (("A", splits[0]), ("B", splits[1])):
        if split:
            out.write(f"  lt-proc ({side}) cut {len(split)} words into several units\n")
    if diffs:
        out.write(f"sample of differences (word, class, A only | B only):\n")
        for w, cls, only_a, only_b in diffs[:args.sample]:
            out.write(f"  {w}\t{cls}\t{' '.join(only_a) or '-'} | {' '.join(only_b) or '-'}\n")


def write_diff(path, diffs):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("# word\tclass\tonly in A\tonly in B (analyses separated by ' ; ')\n")
        for w, cls, only_a, only_b in diffs:
            f.write(f"{w}\t{cls}\t{' ; '.join(only_a)}\t{' ; '.join(only_b)}\n")


def main():
    parser = argparse.ArgumentParser(description="Compares two analysers word by word.")
    parser.add_argument("a", metavar="A", help="KIND:FILE (pmr, flookup, hfst, ltproc, ltproc-fold, "
                        "pmr-gen, flookup-gen, hfst-gen)")
    parser.add_argument("b", metavar="B", help="KIND:FILE")
    parser.add_argument("--words", default="build/models/words.txt", help="word list, one per line")
    parser.add_argument("--diff", help="write every difference to this file")
    parser.add_argument("--sample", type=int, default=20, help="differences to print")
    parser.add_argument("--limit", type=int, default=0, help="use only the first N words")
    parser.add_argument("--pmr", default=os.environ.get("PMR", "build/pmr"), help="the pmr tool")
    parser.add_argument("--only-cp1252", action="store_true",
                        help="leave out words and results with characters outside Windows-1252")
    parser.add_argument("--min-agreement", type=float, default=None,
                        help="exit 1 when the agreement (percent) is lower")
    args = parser.parse_args()

    words = read_words(args.words)
    if args.only_cp1252:
        words = [w for w in words if fits_cp1252(w)]
    if args.limit > 0:
        words = words[:args.limit]
    if not words:
        raise SystemExit("compare: the word list is empty")
    table_a, split_a = analyse(args.a, words, args.pmr)
    table_b, split_b = analyse(args.b, words, args.pmr)
    if args.only_cp1252:
        table_a, table_b = keep_cp1252(table_a), keep_cp1252(table_b)
    classes, diffs = compare(words, table_a, table_b)
    report(args, words, classes, diffs, (split_a, split_b), sys.stdout)
    if args.diff:
        write_diff(args.diff, diffs)
    agree = 100.0 * (classes["same analyses"] + classes["same, no analysis"]) / len(words)
    if args.min_agreement is not None and agree < args.min_agreement:
        sys.exit(1)


if __name__ == "__main__":
    main()
