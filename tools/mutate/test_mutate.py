"""Unit tests of mutant generation, ids and sampling: python3 -m unittest (from this folder)."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.realpath(__file__)))

import cxx_mutants as cm  # noqa: E402

SNIPPET = """\
#include <vector>
#define LIMIT (a < b)
namespace demo {
// if (x < y) in a comment stays
constexpr int kRows[3] = {4, 5, 6};
int Count(const std::vector<int>& v, int limit) {
    int n = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        if (v[i] >= limit)
            n += 1;
    }
    qDebug() << "n" << (n < 2);
    std::vector<std::vector<int>> nested;
    Notify(n);
    return n > 0 ? n - limit : n << 2;
}
}
"""


def by(mutants, op):
    return [(m.original, m.replacement) for m in mutants if m.operator == op]


class Generation(unittest.TestCase):
    def setUp(self):
        self.mutants = cm.generate("demo.cpp", SNIPPET)

    def test_comparisons_flip_but_template_include_and_shift_do_not(self):
        boundary = by(self.mutants, "boundary")
        # i < v.size(), v[i] >= limit, n > 0: three comparisons, nothing else.
        self.assertEqual(sorted(boundary), sorted([("<", "<="), (">=", ">"), (">", ">=")]))
        for m in self.mutants:
            line = SNIPPET.splitlines()[m.line - 1]
            self.assertNotIn("#include", line)
            self.assertNotIn("#define", line)
            self.assertNotIn("//", line)
            self.assertNotIn("qDebug", line)  # logging is left alone
            self.assertNotIn("<<", m.original.replace("<< 2", ""))

    def test_statements_conditions_and_literals(self):
        self.assertIn(("Notify(n);\n", ""), [(m.original.strip(" "), m.replacement)
                                             for m in self.mutants
                                             if m.operator == "remove_stmt"])
        # The body of an unbraced if keeps a placeholder; declarations are never removed.
        self.assertIn(("n += 1;", "{}"), by(self.mutants, "remove_stmt"))
        removed = " ".join(o for o, _ in by(self.mutants, "remove_stmt"))
        self.assertNotIn("int n", removed)
        self.assertNotIn("nested", removed)
        self.assertIn(("v[i] >= limit", "!(v[i] >= limit)"), by(self.mutants, "negate_cond"))
        self.assertIn(("n > 0", "!(n > 0)"), by(self.mutants, "negate_cond"))
        self.assertIn(("n - limit", "limit - n"), by(self.mutants, "swap_operands"))
        self.assertIn(("0", "1"), by(self.mutants, "literal"))
        # The step of the for loop is not turned around; the array size is not touched.
        self.assertEqual(by(self.mutants, "incdec"), [])
        self.assertNotIn(("3", "4"), by(self.mutants, "literal"))

    def test_tables(self):
        self.assertEqual(by(self.mutants, "table_swap"), [("4, 5", "5, 4"), ("5, 6", "6, 5")])
        self.assertEqual(by(self.mutants, "table_value"), [("4", "5"), ("5", "6"), ("6", "7")])

    def test_apply_and_diff(self):
        m = next(m for m in self.mutants if m.operator == "boundary" and m.line == 8)
        self.assertIn("i <= v.size()", m.apply(SNIPPET).splitlines()[7])
        diff = m.diff(SNIPPET)
        self.assertIn("--- a/demo.cpp", diff)
        self.assertIn("+    for (size_t i = 0; i <= v.size(); ++i) {", diff)

    def test_strings_and_hex_literals(self):
        src = 'void F() { Send("VOLT", 0x1Fu); }\n'
        ms = cm.generate("s.cpp", src)
        self.assertIn(("VOLT", ""), by(ms, "string"))
        self.assertIn(("L", "M"), by(ms, "string"))
        self.assertEqual(sorted(by(ms, "literal")),
                         sorted([("0x1Fu", "0x20u"), ("0x1Fu", "0x1Eu"), ("0x1Fu", "0x0u")]))


class Ids(unittest.TestCase):
    def test_ids_survive_edits_elsewhere_and_keys_are_readable(self):
        before = {m.id: m for m in cm.generate("demo.cpp", SNIPPET)}
        shifted = SNIPPET.replace("namespace demo {\n", "namespace demo {\nint added = 1;\n")
        after = {m.id: m for m in cm.generate("demo.cpp", shifted)}
        common = set(before) & set(after)
        self.assertEqual(len(common), len(before))
        m = before[next(iter(common))]
        self.assertEqual(after[m.id].line, m.line + 1)
        self.assertEqual(len(before), len({m.key for m in before.values()}))
        self.assertRegex(m.key, r'^demo\.cpp:\d+:[a-z_]+:".*":".*"$')

    def test_equivalents_file(self):
        text = ('# judged by hand\n'
                'M0123abcd  -- same result either way\n'
                '#  | demo.cpp:8:9  boundary  "<" -> "<="\n'
                '#  | -    if (a < b)\n'
                'demo.cpp:8:boundary:"<":"<=" the loop bound is never reached\n')
        self.assertEqual(cm.parse_equivalents(text), [
            ("M0123abcd", "same result either way"),
            ('demo.cpp:8:boundary:"<":"<="', "the loop bound is never reached")])
        with self.assertRaises(ValueError):
            cm.parse_equivalents("M0123abcd\n")  # a reason is required

    def test_sample_is_reproducible_and_spread(self):
        ms = cm.generate("demo.cpp", SNIPPET) + cm.generate("other.cpp", SNIPPET)
        a = [m.id for m in cm.sample(ms, 6, seed=1)]
        self.assertEqual(a, [m.id for m in cm.sample(list(reversed(ms)), 6, seed=1)])
        self.assertNotEqual(a, [m.id for m in cm.sample(ms, 6, seed=2)])
        files = [m.file for m in cm.sample(ms, 6, seed=1)]
        self.assertEqual(files.count("demo.cpp"), 3)


if __name__ == "__main__":
    unittest.main()
