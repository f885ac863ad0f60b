#!/usr/bin/env python3
"""Joins the sections of an AT&T dump into one network and rewrites its
symbols for a chosen reader.

lt-print writes one AT&T block per section of an lttoolbox transducer, the
blocks separated by a line "--", each numbering its states from 0.  Readers
that take a single network (foma's "read att", our compiler) need one block:
this script renumbers the states of every section after those of the ones
before it and adds a new start state 0 with an epsilon arc into each
section's start.

Symbols: lt-print writes the empty symbol as "ε" and a space as " " (with
-H: "@0@" and "@_SPACE_@").  --dialect picks the output notation:
  hfst   epsilon "@0@", space "@_SPACE_@", tab "@_TAB_@" (hfst-txt2fst
         needs the escaped space)
  plain  epsilon "@0@", space written as it is, tab "@_TAB_@" (foma: its
         "read att" splits fields at tabs only and keeps "@_SPACE_@" as a
         symbol of that name)
The digit 0 stays "0" in both; the readers used here take only "@0@" for
the empty symbol.

Weights are dropped when they are all zero (the English analyser has no
weights), otherwise kept.

usage: att_merge.py [--dialect hfst|plain] [IN [OUT]]
"""
import argparse
import sys

EPSILONS = {"ε", "@0@", "@_EPSILON_SYMBOL_@"}


def read_sections(lines):
    """Yields the sections as lists of split lines (tab-separated fields)."""
    section = []
    for raw in lines:
        line = raw.rstrip("\n")
        if line == "--":
            yield section
            section = []
            continue
        if line.strip() == "":
            continue
        fields = line.split("\t")
        while fields and fields[-1] == "":
            fields.pop()
        section.append(fields)
    if section:
        yield section


def symbol_for(symbol, dialect):
    if symbol in EPSILONS:
        return "@0@"
    if symbol == "@_SPACE_@" or symbol == " ":
        return "@_SPACE_@" if dialect == "hfst" else " "
    if symbol == "@_TAB_@" or symbol == "\t":
        return "@_TAB_@"  # a literal tab would split the line
    return symbol


def weight_text(weight):
    try:
        return None if float(weight) == 0.0 else weight
    except ValueError:
        raise SystemExit(f"att_merge: bad weight {weight!r}")


def merge(sections, dialect, out):
    """Writes the union of the sections as one AT&T network."""
    offset = 1  # state 0 is the new start state
    body = []
    starts = []
    for section in sections:
        highest = -1
        for fields in section:
            if len(fields) >= 4:
                src, dst = int(fields[0]), int(fields[1])
                inp, outp = symbol_for(fields[2], dialect), symbol_for(fields[3], dialect)
                weight = weight_text(fields[4]) if len(fields) > 4 else None
                row = [str(src + offset), str(dst + offset), inp, outp]
                if weight is not None:
                    row.append(weight)
                body.append("\t".join(row))
                highest = max(highest, src, dst)
            elif len(fields) in (1, 2):
                state = int(fields[0])
                weight = weight_text(fields[1]) if len(fields) == 2 else None
                row = [str(state + offset)]
                if weight is not None:
                    row.append(weight)
                body.append("\t".join(row))
                highest = max(highest, state)
            else:
                raise SystemExit(f"att_merge: cannot read line {fields!r}")
        if highest < 0:
            continue
        starts.append(offset)
        offset += highest + 1
    for start in starts:
        out.write(f"0\t{start}\t@0@\t@0@\n")
    for row in body:
        out.write(row + "\n")
    return len(starts)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--dialect", choices=("hfst", "plain"), default="hfst")
    parser.add_argument("input", nargs="?", default="-")
    parser.add_argument("output", nargs="?", default="-")
    args = parser.parse_args()
    src = sys.stdin if args.input == "-" else open(args.input, encoding="utf-8", newline="\n")
    dst = sys.stdout if args.output == "-" else open(args.output, "w", encoding="utf-8", newline="\n")
    with src, dst:
        count = merge(read_sections(src), args.dialect, dst)
    print(f"att_merge: joined {count} sections", file=sys.stderr)


if __name__ == "__main__":
    main()
