#!/usr/bin/env python3
"""The benchmark table: which rows make `make bench` fail, and what the table says of them."""

import os
import stat
import subprocess
import sys
import tempfile
import unittest

RUN_BENCH = sys.argv.pop(1)

OK = "core frames|6000000|frames/s|>= 5000000|ok\n"
MISS = "CPU at the line rate|1.40|% of a core|< 0.5|MISS\n"
REF = "CPU of a bare read|0.24|% of a core|-|ref\n"


def program(folder, name, rows, status=0):
    path = os.path.join(folder, name)
    with open(path, "w") as f:
        f.write("#!/bin/sh\ncat <<'END'\n" + rows + "END\nexit %d\n" % status)
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR)
    return path


class RunBenchTest(unittest.TestCase):
    def run_bench(self, rows, status=0):
        with tempfile.TemporaryDirectory() as folder:
            path = program(folder, "bench_fake", rows, status)
            done = subprocess.run([RUN_BENCH, path], capture_output=True, text=True)
        return done.returncode, done.stdout, done.stderr

    def test_exit_status(self):
        cases = [
            ("all met", OK, 0, 0),
            ("a reference has no target to miss", OK + REF, 0, 0),
            ("one miss fails the run", OK + MISS + REF, 0, 1),
            ("a miss explains the program's own failure", MISS, 1, 1),
            ("a failing program fails the run", OK, 3, 1),
            ("a program with no figure fails the run", "", 0, 1),
            ("only references is no figure missed", REF, 0, 0),
        ]
        for name, rows, program_status, expected in cases:
            with self.subTest(name):
                status, _, _ = self.run_bench(rows, program_status)
                self.assertEqual(status, expected)

    def test_table_names_each_result(self):
        status, table, errors = self.run_bench(OK + MISS + REF + "not a figure\n")
        self.assertEqual(status, 1)
        lines = {line.split("|")[1].strip(): line for line in table.splitlines()[2:]}
        self.assertIn("| ok", lines["core frames"])
        self.assertIn("| MISSED", lines["CPU at the line rate"])
        self.assertIn("| reference", lines["CPU of a bare read"])
        self.assertIn("not a figure", errors)
        self.assertIn("missed its target: CPU at the line rate", errors)
        self.assertNotIn("CPU of a bare read", errors)


if __name__ == "__main__":
    unittest.main()
