#!/usr/bin/env python3
# Golden data, checked through the rtcmv tool: every vector's packed words decode to its field
# values and its field values encode to its words; every real recording decodes to the JSON Lines
# kept under expected/ (a change in output shows as a diff). The type 14 messages of
# naujoks-rtcm2.log there hold the values gpsd publishes for that recording
# (test/daemon/naujoks-rtcm2.log.chk): week 601, hour 109, 15 leap seconds, station 652 and
# Z-count 2800 (1680.0 s) for the last one.
import difflib
import os
import subprocess
import unittest

TOOL = os.environ.get("RTCMV_TOOL", "rtcmv")
TESTDATA = os.environ.get("MESARO_TESTDATA_DIR", "")
HERE = os.path.dirname(os.path.abspath(__file__))


def run(args, data=b""):
    done = subprocess.run([TOOL] + args, input=data, capture_output=True, timeout=120)
    return done.stdout, done


class Golden(unittest.TestCase):
    def test_vectors(self):
        with open(os.path.join(HERE, "vectors.txt"), encoding="utf-8") as fh:
            vectors = [line.strip().split(" ", 1) for line in fh if line.strip() and not line.startswith("#")]
        decoded, done = run(["decode", "--packed", "--format", "json"], bytes.fromhex("".join(w for w, _ in vectors)))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(decoded.decode().splitlines(), [fields for _, fields in vectors])
        encoded, done = run(["encode", "--packed"], "".join(fields + "\n" for _, fields in vectors).encode())
        self.assertEqual(done.returncode, 0, done.stderr)
        for hexwords, fields in vectors:
            self.assertEqual(encoded[:len(hexwords) // 2].hex(), hexwords, "encoding " + fields[:80])
            encoded = encoded[len(hexwords) // 2:]

    def test_recordings(self):
        for name in sorted(os.listdir(os.path.join(HERE, "expected"))):
            recording = os.path.join(TESTDATA, name[:-len(".jsonl")])
            if not os.path.exists(recording):
                self.skipTest("no recordings beside the tree")
            with self.subTest(recording=name), open(os.path.join(HERE, "expected", name), encoding="utf-8") as fh:
                got, _ = run(["decode", "--format", "json", recording])
                diff = difflib.unified_diff(fh.read().splitlines(), got.decode("utf-8", "replace").splitlines(),
                                            "expected", "decoded", lineterm="")
                self.assertEqual("\n".join(list(diff)[:40]), "")


if __name__ == "__main__":
    unittest.main()
