#!/usr/bin/env python3
"""rtcmv convert live: str2str serves an RTCM 3 recording on 127.0.0.1, convert reads it over TCP
and serves RTCM 2 with its own TCP server, and `rtcmv decode` reads that as any TCP source.

usage: live_convert_test.py RTCMV TESTDATA_DIR   (exit 77: skipped)"""
import json
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "live"))
from liveproc import LiveCase, free_port, ss, wait_for  # noqa: E402

RTCMV, TESTDATA = sys.argv[1], sys.argv[2]
RECORDING = os.path.join(TESTDATA, "testglo.rtcm3")


class ConvertLive(LiveCase):
    recording = RECORDING

    def test_rtcm3_over_tcp_served_as_rtcm2_to_a_tcp_client(self):
        rtcm3_port, rtcm2_port = free_port(), free_port()
        self.str2str("tcpsvr://:%d" % rtcm3_port, rtcm3_port)
        _, _, errors = self.start(RTCMV, "convert", "tcp://127.0.0.1:%d" % rtcm3_port, "--time-ref",
                                  "2009-10-02T23:00:00Z", "--station-id", "17", "-o",
                                  "tcp-server://127.0.0.1:%d" % rtcm2_port)
        listening = lambda: ss("-Htln", "( sport = :%d )" % rtcm2_port)
        self.assertTrue(wait_for(listening, 10), errors.texts())
        _, lines, _ = self.start(RTCMV, "decode", "tcp://127.0.0.1:%d" % rtcm2_port, "--format", "json")

        def messages(texts):
            return [json.loads(t) for t in texts if t.startswith("{")]
        enough = lambda texts: {3, 18, 19} <= {m["Message_Type"] for m in messages(texts)} \
            and len(messages(texts)) >= 40
        self.assertTrue(lines.wait_for(enough, 60), (lines.texts()[-3:], errors.texts()))
        got = messages(lines.texts())
        self.assertEqual({m["Reference_Station_Id"] for m in got}, {17})
        station = next(m for m in got if m["Message_Type"] == 3)
        self.assertAlmostEqual(station["ECEF_X"] * 0.01, -3869297.514, delta=0.006)


if __name__ == "__main__":
    if not os.path.exists(RECORDING) or shutil.which("str2str") is None or shutil.which("ss") is None:
        print("skipped: no recording, str2str or ss")
        sys.exit(77)
    sys.exit(0 if unittest.main(argv=sys.argv[:1], exit=False).result.wasSuccessful() else 1)
