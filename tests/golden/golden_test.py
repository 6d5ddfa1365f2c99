#!/usr/bin/env python3
"""Golden data, checked through the rtcmv tool: every vector's packed words decode to its field
values and its field values encode to its words; every real recording decodes to the JSON Lines
kept under expected/ (a change in output shows as a diff)."""
import difflib
import os
import subprocess
import unittest

TOOL = os.environ.get("RTCMV_TOOL", "rtcmv")
TESTDATA = os.environ.get("MESARO_TESTDATA_DIR", "")
HERE = os.path.dirname(os.path.abspath(__file__))


def run(args, data=b""):
    done = subprocess.run([TOOL] + args, input=data, capture_output=True, timeout=120)
    return done.stdout.decode("utf-8", "replace"), done


class Golden(unittest.TestCase):
    def test_vectors(self):
        with open(os.path.join(HERE, "vectors.txt"), encoding="utf-8") as fh:
            vectors = [line.split(" ", 1) for line in fh if line.strip() and not line.startswith("#")]
        words = [hexwords for hexwords, _ in vectors]
        fields = [json.strip() for _, json in vectors]
        decoded, done = run(["decode", "--packed", "--format", "json"], bytes.fromhex("".join(words)))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(decoded.splitlines(), fields)
        encoded, done = run(["encode", "--packed"], ("\n".join(fields) + "\n").encode())
        self.assertEqual(done.returncode, 0, done.stderr)
        at = 0
        for hexwords, line in zip(words, fields):
            got = done.stdout[at // 2:(at + len(hexwords)) // 2].hex()
            self.assertEqual(got, hexwords, "encoding " + line[:80])
            at += len(hexwords)

    def test_recordings(self):
        for name in sorted(os.listdir(os.path.join(HERE, "expected"))):
            recording = os.path.join(TESTDATA, name[:-len(".jsonl")])
            if not os.path.exists(recording):
                self.skipTest("no recordings beside the tree")
            with self.subTest(recording=name):
                with open(os.path.join(HERE, "expected", name), encoding="utf-8") as fh:
                    expected = fh.read().splitlines()
                got, _ = run(["decode", "--format", "json", recording])
                diff = list(difflib.unified_diff(expected, got.splitlines(), "expected", "decoded", lineterm=""))
                self.assertFalse(diff, "\n".join(diff[:40]))


if __name__ == "__main__":
    unittest.main()
