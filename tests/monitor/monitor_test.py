#!/usr/bin/env python3
"""rtcmv monitor on the real recordings: its JSON summary against figures worked out here from
`rtcmv decode --format json` (counts, intervals from the chained Z-counts, sequence gaps, outages)
and against `decode --stats` (counts per type, framing, station positions).

usage: monitor_test.py RTCMV TESTDATA_DIR
"""
import datetime
import json
import os
import re
import subprocess
import sys
import unittest

RTCMV, TESTDATA = sys.argv[1], sys.argv[2]
RECORDINGS = ["rtcm2.bend.log", "naujoks-rtcm2.log", "sample.rtcm2"]


def run(*args):
    return subprocess.run([RTCMV, *args], capture_output=True, check=True, timeout=60)


def utc(text):
    return datetime.datetime.strptime(text, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=datetime.timezone.utc).timestamp()


def reference(messages, outage):
    """Times in seconds from the first message, each Z-count (0.6 s steps within the hour) placed
    nearest the message before it."""
    t, z0, last_all = None, None, None
    types, stations, outages = {}, {}, []
    for m in messages:
        z = m["Modified_Z_Count"]
        if z < 6000:
            t = 0.0 if t is None else t + ((z - z0 + 3000) % 6000 - 3000) * 0.6
            z0 = z
        if last_all is not None and t - last_all >= outage:
            outages.append((last_all, t - last_all))
        last_all = t if last_all is None else max(last_all, t)
        kind = types.setdefault(m["Message_Type"], {"count": 0, "intervals": [], "gaps": 0, "last": None})
        if kind["last"] is not None:
            kind["intervals"].append(t - kind["last"])
        kind["count"] += 1
        kind["last"] = t
        station = m["Reference_Station_Id"]
        if station in stations and m["Sequence_No_"] != (stations[station]["seq"] + 1) % 8:
            kind["gaps"] += 1
        stations[station] = {"seq": m["Sequence_No_"], "count": stations.get(station, {"count": 0})["count"] + 1}
    return types, stations, outages, last_all


@unittest.skipUnless(os.path.isdir(TESTDATA), "needs ../shared/testdata")
class MonitorTest(unittest.TestCase):
    def check_recording(self, name, outage):
        path = os.path.join(TESTDATA, name)
        decoded = [json.loads(line) for line in run("decode", "--format", "json", path).stdout.splitlines()]
        self.assertFalse([m for m in decoded if "event" in m], "no refusals in the recordings")
        stats = run("decode", "--quiet", "--stats", path).stderr.decode()
        out = run("monitor", "--once", "--outage", str(outage), path).stdout.decode().splitlines()
        self.assertEqual(len(out), 1, "--once: a single summary")
        summary = json.loads(out[0])
        types, stations, outages, end = reference(decoded, outage)

        counts = {int(t): int(n) for t, n in re.findall(r"^  Message_Type_(\d+) +(\d+)", stats, re.M)}
        self.assertEqual({t["type"]: t["count"] for t in summary["types"]}, counts)
        self.assertAlmostEqual(summary["watched_s"], end, places=3)
        for row in summary["types"]:
            ref = types[row["type"]]
            intervals = ref["intervals"] or [0]
            self.assertEqual(row["sequence_gaps"], ref["gaps"], row)
            self.assertAlmostEqual(row["interval_mean_s"], sum(intervals) / len(intervals), places=3)
            self.assertAlmostEqual(row["interval_max_s"], max(intervals), places=3)
            self.assertAlmostEqual(row["since_last_s"], end - ref["last"], places=3)
            self.assertAlmostEqual(row["rate_per_min"], ref["count"] * 60 / end, places=3)

        first = utc(summary["time"]) - summary["watched_s"]
        self.assertEqual([(round(utc(o["start"]) - first, 3), o["length_s"], o["open"]) for o in summary["outages"]],
                         [(round(s, 3), round(n, 3), False) for s, n in outages])
        self.assertEqual({s["id"]: s["messages"] for s in summary["stations"]},
                         {s: v["count"] for s, v in stations.items()})
        framing = re.search(r"framing: (\d+) bytes \((\d+) ignored\), \d+ words, (\d+) parity failures, \d+ messages, "
                            r"(\d+) resyncs", stats).groups()
        stream = summary["stream"]
        self.assertEqual([stream[k] for k in ("bytes", "ignored_bytes", "parity_failures", "resyncs")],
                         [int(n) for n in framing])
        positions = {int(s): (float(lat), float(lon)) for s, lat, lon in
                     re.findall(r"^station (\d+): lat (\S+), lon (\S+),", stats, re.M)}
        self.assertEqual({s["id"]: (round(s["position"]["lat"], 9), round(s["position"]["lon"], 9))
                          for s in summary["stations"] if "position" in s}, positions)
        return summary

    def test_recordings(self):
        for name in RECORDINGS:
            for outage in (10, 2):
                with self.subTest(name=name, outage=outage):
                    self.check_recording(name, outage)
        # naujoks' recording pauses for 15 s: one outage of that length at the default 10 s
        self.assertEqual([o["length_s"] for o in self.check_recording("naujoks-rtcm2.log", 10)["outages"]], [15])

    def test_json_every(self):
        # a summary per 10 s of the recording's time, then the one at the end
        path = os.path.join(TESTDATA, "sample.rtcm2")
        lines = [json.loads(l) for l in run("monitor", "--json-every", "10", path).stdout.splitlines()]
        steps = [b["watched_s"] - a["watched_s"] for a, b in zip(lines, lines[1:])]
        self.assertEqual(len(lines), 13)
        self.assertTrue(all(9 <= step <= 11 for step in steps), steps)
        self.assertEqual(sum(t["count"] for t in lines[-1]["types"]), 131)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
