#!/usr/bin/python3
"""Tests of crosscheck.py: each known difference between pefile and
corvane-dump, on a small file made to show it, passes with its note and with
the dump showing what the difference says it shows; faults planted in a dump
are reported; the closing line counts files.

Run by ctest with CORVANE_DUMP (corvane-dump) and CORVANE_MAKE_CASES
(corvane-make-crosscheck-cases, which writes the files) in the environment.
"""

import contextlib
import copy
import io
import os
import subprocess
import sys
import tempfile
import unittest

import crosscheck as cc

DUMP = os.environ.get("CORVANE_DUMP")
MAKE_CASES = os.environ.get("CORVANE_MAKE_CASES")


def children(node):
    return node.get("children", [])


def root_children(dump):
    return children(dump["tree"][0])


def library(dump, name):
    nodes = [n for n in root_children(dump) if n["icon"] == cc.ICON_LIBRARY and n["text"] == name]
    return [f["text"] for f in children(nodes[0])] if nodes else None


def libraries(dump):
    return sorted(n["text"] for n in root_children(dump) if n["icon"] == cc.ICON_LIBRARY)


def exports(dump):
    nodes = [n for n in root_children(dump) if n["icon"] == cc.ICON_EXPORTS]
    return [e["text"] for e in children(nodes[0])] if nodes else []


def stats(dump):
    return [n["text"] for n in children(root_children(dump)[0])]


# Each case: the notes its file must raise, and what the dump must show for
# the difference to be the one described.
CASES = {
    "plain": ((), lambda d: (exports(d) == ["alpha (1)", "beta (0)"]
                             and "Version: 1.2.3.4" in stats(d)
                             and "Flags: SpecialBuild PreRelease" in stats(d))),
    "plain-pe32plus": ((), lambda d: (stats(d)[0] == "Image Base Addr: 0x0000000180000000"
                                      and "65535 (ordinal)" in library(d, "KERNEL32.dll")[0])),
    "ordinal-named": ((cc.ORDINAL_NAMED,),
                      lambda d: library(d, "WS2_32.dll") == ["    23 (ordinal)"]),
    "rounded-offsets": ((cc.ROUNDING_PRESENT, cc.ROUNDING_AFFECTED),
                        lambda d: library(d, "KERNEL32.dll") == ["Sleep"] and "Version: 1.2.0.0" in stats(d)),
    "many-exports": ((cc.STOCK_LIMITS,), lambda d: len(exports(d)) == 0x2001),
    "empty-import-name": ((cc.EMPTY_IMPORT_NAME,), lambda d: library(d, "a.dll") == ["first"]),
    "name-zero-descriptor": ((cc.NAME_ZERO_DESCRIPTOR,), lambda d: libraries(d) == ["a.dll"]),
    "library-without-functions": ((cc.LIBRARY_WITHOUT_FUNCTIONS,),
                                  lambda d: library(d, "empty.dll") == []),
    "empty-library-name": ((cc.EMPTY_LIBRARY_NAME,), lambda d: library(d, "") == ["g"]),
    "unreadable-import-name": ((cc.NO_BYTES,),
                               lambda d: sorted(library(d, "a.dll")) == ["also", "kept"]),
    "ordinal-zero": ((cc.ORDINAL_ZERO,), lambda d: "     0 (ordinal)" in library(d, "a.dll")),
    "rejected-names": ((cc.REJECTED_NAMES, cc.DROPPED_EXPORTS),
                       lambda d: "has space (1)" in exports(d) and library(d, "a.dll") == ["bad name"]),
    "export-address-zero": ((cc.DROPPED_EXPORTS,), lambda d: exports(d) == ["alpha (0)", "beta (1)"]),
    "name-in-no-section": ((cc.NO_BYTES,), lambda d: exports(d) == ["alpha (0)"]),
    "string-past-section": ((cc.LONG_STRINGS,),
                            lambda d: library(d, "LongLastLibraryName.dll") == ["f"]),
    "section-lookup": ((cc.SECTION_LOOKUP,), lambda d: libraries(d) == []),
    "version-elsewhere": ((cc.VERSION_ELSEWHERE,),
                          lambda d: not any(t.startswith("Version") for t in stats(d))),
    "version-too-short": ((cc.VERSION_TOO_SHORT,),
                          lambda d: not any(t.startswith("Version") for t in stats(d))),
    "version-other-key": ((cc.VERSION_REFUSED,), lambda d: "Version: 5.6.7.8" in stats(d)),
    "odd-magic": ((cc.ODD_MAGIC,), lambda d: [n["text"] for n in root_children(d)] == ["Stats"]),
    "kb-wrap": ((cc.KB_WRAP,), lambda d: "Code:  0 Kb (4294967040 bytes)" in stats(d)),
    "not-utf8": ((cc.NOT_UTF8,), lambda d: len(exports(d)) == 1 and exports(d)[0].startswith("caf")),
}


@unittest.skipUnless(DUMP and MAKE_CASES, "needs CORVANE_DUMP and CORVANE_MAKE_CASES")
class CrosscheckTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cc.raise_pefile_limits()
        cls.directory = tempfile.TemporaryDirectory()
        subprocess.run([MAKE_CASES, cls.directory.name], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.directory.cleanup()

    def path(self, case):
        return os.path.join(self.directory.name, case + ".dll")

    def dump_and_expectation(self, case):
        dump, problem = cc.run_dump(DUMP, self.path(case), 60)
        self.assertIsNone(problem)
        return dump, cc.build_expectation(self.path(case))

    def test_every_known_difference_passes_with_its_note_and_shows_as_described(self):
        self.assertEqual(sorted(CASES), sorted(f[:-4] for f in os.listdir(self.directory.name)))
        for case, (notes, shows) in sorted(CASES.items()):
            with self.subTest(case=case):
                dump, expected = self.dump_and_expectation(case)
                self.assertEqual(cc.judge(self.path(case), expected, dump, None), [])
                self.assertLessEqual(set(notes), expected.notes)
                if not notes:
                    self.assertEqual(expected.notes, set())
                self.assertTrue(shows(dump), dump)

    def test_faults_planted_in_a_dump_are_each_reported(self):
        dump, expected = self.dump_and_expectation("plain")
        path = self.path("plain")

        def planted(change):
            tampered = copy.deepcopy(dump)
            change(tampered)
            return "; ".join(cc.judge(path, expected, tampered, None))

        def node(d, text):
            return next(n for n in root_children(d) if n["text"] == text)

        def stats_node(d):
            return root_children(d)[0]

        faults = {
            "export lost": (lambda d: children(node(d, "Exported APIs")).pop(), "exports: missing 'beta (0)'"),
            "exports reordered": (lambda d: children(node(d, "Exported APIs")).reverse(),
                                  "exports out of name-table order"),
            "name-ordinal wrong": (lambda d: children(node(d, "Exported APIs"))[0].update(text="alpha (2)"),
                                   "unexpected 'alpha (2)'"),
            "function added": (lambda d: children(node(d, "USER32.dll")).append(
                {"text": "Extra", "icon": cc.ICON_IMPORT, "children": []}), "unexpected 'Extra'"),
            "function shown twice": (lambda d: children(node(d, "USER32.dll")).append(
                dict(children(node(d, "USER32.dll"))[0])), "functions shown more than once"),
            "library lost": (lambda d: root_children(d).remove(node(d, "USER32.dll")),
                             "libraries: missing 'USER32.dll'"),
            "library shown twice": (lambda d: root_children(d).append(copy.deepcopy(node(d, "USER32.dll"))),
                                    "libraries shown more than once"),
            "wrong icon": (lambda d: children(node(d, "USER32.dll"))[0].update(icon=cc.ICON_EXPORT),
                           "not a leaf with icon 5"),
            "image base wrong": (lambda d: children(stats_node(d))[0].update(text="Image Base Addr: 0x00000000"),
                                 "Stats: line 1"),
            "version line lost": (lambda d: children(stats_node(d)).pop(3), "Stats: line 4"),
            "root renamed": (lambda d: d["tree"][0].update(text="other.dll"), "root is 'other.dll'"),
        }
        for fault, (change, report) in faults.items():
            with self.subTest(fault=fault):
                self.assertIn(report, planted(change))

    def test_a_disagreement_no_rule_explains_fails_the_file(self):
        dump, expected = self.dump_and_expectation("plain")
        expected.doubts = ["library 'a.dll': pefile only ['x']"]
        self.assertEqual(cc.judge(self.path("plain"), expected, dump, None),
                         ["pefile and the table walk disagree: library 'a.dll': pefile only ['x']"])

    def test_the_closing_line_counts_passed_and_failed_files(self):
        with tempfile.TemporaryDirectory() as scratch:
            liar = os.path.join(scratch, "liar")
            with open(liar, "w") as f:
                f.write("#!/bin/sh\necho '{\"tree\": [], \"status\": [], \"errors\": []}'\n")
            os.chmod(liar, 0o755)
            for dump, status, closing in ((DUMP, 0, "%d passed, 0 failed" % len(CASES)),
                                          (liar, 1, "0 passed, %d failed" % len(CASES))):
                with self.subTest(dump=dump):
                    out = io.StringIO()
                    with contextlib.redirect_stdout(out):
                        self.assertEqual(cc.main(["--dump", dump, self.directory.name]), status)
                    self.assertEqual(out.getvalue().splitlines()[-1], closing)

    def test_a_corpus_without_pe_files_is_an_error(self):
        with tempfile.TemporaryDirectory() as empty:
            with contextlib.redirect_stderr(io.StringIO()):
                self.assertEqual(cc.main(["--dump", DUMP, empty]), 2)
                self.assertEqual(cc.main(["--dump", DUMP, os.path.join(empty, "missing")]), 2)


if __name__ == "__main__":
    sys.exit(unittest.main())
