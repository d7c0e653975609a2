#!/usr/bin/env python3
"""The mutation driver's generator and sampling: which faults it makes of a line of C++, that
it leaves comments, strings and compile-time code alone, and that a seed repeats a sample."""

import sys
import types
import unittest

MUTANTS = sys.argv.pop(1)
# The driver is a script without a .py ending, so it is loaded by hand.
mutants = types.ModuleType("mutants")
mutants.__file__ = MUTANTS
sys.modules["mutants"] = mutants
with open(MUTANTS, encoding="utf-8") as source:
    exec(compile(source.read(), MUTANTS, "exec"), mutants.__dict__)


def mutated_lines(line):
    """The line as each mutant of it reads, in a function's body."""
    source = "void f()\n{\n    " + line + "\n}\n"
    return {m.apply(source).splitlines()[2].strip() for m in mutants.generate(source)}


class GeneratorTest(unittest.TestCase):
    def test_each_operator(self):
        cases = {
            "if (a < b && !done) x += 1;": {
                "if (a <= b && !done) x += 1;", "if (a < b || !done) x += 1;",
                "if (a < b && done) x += 1;", "if (!(a < b && !done)) x += 1;",
                "if (a < b && !done) x -= 1;", "if (a < b && !done) x += 0;",
                "if (a < b && !done) x += 2;", "if (a < b && !done) ;"},
            "ok = a + b >= limit;": {"ok = a - b >= limit;", "ok = a + b > limit;", ""},
            "return count != 0;": {"return count == 0;", "return count != 1;",
                                   "return true;", "return false;"},
            "send(frame, length, true);": {"send(length, frame, true);",
                                           "send(frame, true, length);",
                                           "send(frame, length, false);", ""},
            # A declaration stays; its template brackets are no comparison.
            "std::vector<int> v(3, 0x0FF);": {
                "std::vector<int> v(2, 0x0FF);", "std::vector<int> v(4, 0x0FF);",
                "std::vector<int> v(3, 0x100);", "std::vector<int> v(3, 0x0FE);",
                "std::vector<int> v(0x0FF, 3);"},
            "return name(key);": {"return {};"},
            # A reference's && is no logic; a loop's only statement leaves an empty one.
            "for (auto&& item : items) total -= item;": {
                "for (auto&& item : items) total += item;", "for (auto&& item : items) ;"},
            # A lambda's body holds statements; only a condition's test is inverted, never the
            # declaration before or in it.
            "connect(a, b, [this] { done = true; });": {
                "", "connect(a, b, [this] {  });", "connect(a, b, [this] { done = false; });",
                "connect(b, a, [this] { done = true; });"},
            "if (auto n = read(); n > 0) use(n);": {
                "if (auto n = read(); !(n > 0)) use(n);", "if (auto n = read(); n > 0) ;",
                "if (auto n = read(); n > 1) use(n);", "if (auto n = read(); n >= 0) use(n);"},
            "if (const auto* p = find(k)) p->run();": {"if (const auto* p = find(k)) ;"},
            "while (i > 1'000) i = i / 2;": {
                "while (i >= 1'000) i = i / 2;", "while (!(i > 1'000)) i = i / 2;",
                "while (i > 1'001) i = i / 2;", "while (i > 999) i = i / 2;",
                "while (i > 1'000) i = i / 1;", "while (i > 1'000) i = i / 3;",
                "while (i > 1'000) ;"},
        }
        for line, expected in cases.items():
            with self.subTest(line):
                self.assertEqual(mutated_lines(line), expected)

    def test_leaves_text_and_compile_time_code_alone(self):
        source = """#include <map> // a < b
#define LARGER(a, b) ((a) < (b) ? (b) : (a))
static_assert(sizeof(long) >= 4 && true, "a + 1 < 2");
/* if (x) return 1; */
class Box : public Shape {
    void paint(Painter&& p) override;
    virtual int size() const = 0;
};
void f()
{
    const char* s = "if (a < b) return 1 + 2;"; // x == 3
    const char c = '<';
    auto r = R"(a < b
        && c)";
}
"""
        self.assertEqual(mutants.generate(source), [])

    def test_sampling_repeats_with_its_seed(self):
        body = "".join(f"    if (a > {k})\n        return a + {k};\n" for k in range(10))
        source = "int f(int a)\n{\n" + body + "    return 0;\n}\n"
        population = mutants.generate(source)
        first = mutants.pick(population, 12, seed=7)
        self.assertEqual(first, mutants.pick(population, 12, seed=7))
        self.assertEqual(len(first), 12)
        self.assertEqual(first, sorted(first, key=lambda m: m.start))
        others = [mutants.pick(population, 12, seed=s) for s in range(1, 5)]
        self.assertTrue(any(other != first for other in others))
        self.assertEqual(len(mutants.pick(population, 10**6, seed=1)), len(population))

    def test_lines_changed_since_a_commit(self):
        diff = ("@@ -3,0 +4,2 @@ x\n+a\n+b\n@@ -9 +11 @@ y\n-c\n+d\n"
                "@@ -20,3 +22,0 @@\n-e\n-f\n-g\n")
        self.assertEqual(mutants.new_line_numbers(diff), {4, 5, 11})


if __name__ == "__main__":
    unittest.main()
