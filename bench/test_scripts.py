#!/usr/bin/env python3
"""Checks of the agreement harness (bench/compare.py) and of the section
merge of AT&T dumps (models/english/att_merge.py) on small made-up inputs.

usage: python3 bench/test_scripts.py      (standard library unittest)
"""
import importlib.util
import io
import os
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))


def load(name, path):
    module_source = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(module_source)
    module_source.loader.exec_module(module)
    return module


compare = load("compare", os.path.join(HERE, "compare.py"))
att_merge = load("att_merge", os.path.join(HERE, "..", "models", "english", "att_merge.py"))


def paths(att_text):
    """Every (input, output) string pair the AT&T network accepts (acyclic)."""
    arcs, finals = {}, set()
    for line in att_text.splitlines():
        f = line.split("\t")
        if len(f) >= 4:
            arcs.setdefault(int(f[0]), []).append((int(f[1]), f[2], f[3]))
        else:
            finals.add(int(f[0]))
    found = set()

    def walk(state, i, o):
        if state in finals:
            found.add((i, o))
        for dst, a, b in arcs.get(state, []):
            walk(dst, i + ("" if a == "@0@" else a), o + ("" if b == "@0@" else b))

    walk(0, "", "")
    return found


class AttMergeTest(unittest.TestCase):
    SECTIONS = ("0\t1\ta\ta\t0.000000\t\n1\t2\tε\t<n>\t0.000000\t\n2\t0.000000\n"
                "--\n"
                "0\t1\tb\tb\t0.000000\t\n1\t2\t \t#\t0.000000\t\n2\t3\tc\tc\n3\n")

    def merged(self, dialect):
        out = io.StringIO()
        count = att_merge.merge(att_merge.read_sections(io.StringIO(self.SECTIONS)), dialect, out)
        return count, out.getvalue()

    def test_sections_become_one_network_with_the_union_of_their_paths(self):
        count, text = self.merged("plain")
        self.assertEqual(count, 2)
        self.assertEqual(paths(text), {("a", "a<n>"), ("b c", "b#c")})

    def test_states_of_later_sections_do_not_overlap_earlier_ones(self):
        _, text = self.merged("plain")
        starts = [l.split("\t")[1] for l in text.splitlines() if l.startswith("0\t")]
        self.assertEqual(starts, ["1", "4"])

    def test_hfst_dialect_escapes_space_and_both_write_at_zero_for_epsilon(self):
        _, hfst = self.merged("hfst")
        _, plain = self.merged("plain")
        self.assertIn("@_SPACE_@\t#", hfst)
        self.assertIn(" \t#", plain)
        self.assertNotIn("ε", hfst + plain)

    def test_zero_weights_are_dropped_and_others_kept(self):
        text = io.StringIO()
        att_merge.merge(att_merge.read_sections(io.StringIO("0\t1\ta\ta\t1.5\n1\t0.0\n")), "hfst", text)
        self.assertEqual(text.getvalue().splitlines()[1:], ["1\t2\ta\ta\t1.5", "2"])

    def test_digit_zero_is_a_symbol_not_epsilon(self):
        self.assertEqual(att_merge.symbol_for("0", "hfst"), "0")


class ParseTest(unittest.TestCase):
    def test_tab_blocks_with_unknown_words_in_both_notations(self):
        text = ("cats\tcat<n><pl>\n\nxyz\t+?\n\nqq\tqq\t+?\n\n"
                "house\thouse[n][sg]\nhouse\thouse<vblex><inf>\n\n")
        table = compare.parse_tab_blocks(text, ["cats", "xyz", "qq", "house"], "t")
        self.assertEqual(table, {"cats": {"cat[n][pl]"}, "xyz": set(), "qq": set(),
                                 "house": {"house[n][sg]", "house[vblex][inf]"}})

    def test_tab_blocks_keep_spaces_inside_analyses(self):
        table = compare.parse_tab_blocks("mall\tshopping centre<n><sg>\n\n", ["mall"], "t")
        self.assertEqual(table["mall"], {"shopping centre[n][sg]"})

    def test_tab_blocks_refuse_answers_that_do_not_line_up(self):
        with self.assertRaises(SystemExit):
            compare.parse_tab_blocks("a\ta<n>\n\n", ["a", "b"], "t")
        with self.assertRaises(SystemExit):
            compare.parse_tab_blocks("b\tb<n>\n\n", ["a"], "t")

    def test_ltproc_units_escapes_and_unknown_words(self):
        text = "^cats/cat<n><pl>$\n^xyz/*xyz$\n^a\\/b/a\\/b<n><sg>$\n"
        table, split = compare.parse_ltproc(text, ["cats", "xyz", "a/b"])
        self.assertEqual(table, {"cats": {"cat[n][pl]"}, "xyz": set(), "a/b": {"a/b[n][sg]"}})
        self.assertEqual(split, set())

    def test_ltproc_lines_that_are_not_one_unit_count_as_split(self):
        text = "^John/John<np>$ ^'s/'s<gen>$\n<^dark/dark<adj>$>\n^well/well<adv>$ \n"
        table, split = compare.parse_ltproc(text, ["John's", "<dark>", "well"])
        self.assertEqual(split, {"John's", "<dark>"})
        self.assertEqual(table["John's"], set())
        self.assertEqual(table["well"], {"well[adv]"})

    def test_input_for_ltproc_escapes_its_stream_characters(self):
        self.assertEqual(compare.escape_for_ltproc("a[b]^$/\\c"), "a\\[b\\]\\^\\$\\/\\\\c")


class ClassifyTest(unittest.TestCase):
    def test_classes(self):
        c = compare.classify
        self.assertEqual(c(set(), set()), "same, no analysis")
        self.assertEqual(c({"x"}, {"x"}), "same analyses")
        self.assertEqual(c({"x"}, set()), "only A analyses")
        self.assertEqual(c(set(), {"x"}), "only B analyses")
        self.assertEqual(c({"x"}, {"x", "y"}), "A subset of B")
        self.assertEqual(c({"x", "y"}, {"x"}), "B subset of A")
        self.assertEqual(c({"x"}, {"y"}), "different sets")

    def test_agreement_counts_equal_sets_only(self):
        words = ["a", "b", "c"]
        classes, diffs = compare.compare(words, {"a": {"x"}, "b": set(), "c": {"y"}},
                                         {"a": {"x"}, "b": set(), "c": {"z"}})
        self.assertEqual(classes["same analyses"] + classes["same, no analysis"], 2)
        self.assertEqual(diffs, [("c", "different sets", ["y"], ["z"])])


if __name__ == "__main__":
    unittest.main()
