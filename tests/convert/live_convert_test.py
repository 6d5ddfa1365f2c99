#!/usr/bin/env python3
"""rtcmv convert live: str2str serves an RTCM 3 recording on 127.0.0.1, convert reads it over TCP
and serves RTCM 2 with its own TCP server, and `rtcmv decode` reads that as any TCP source; and
convert writes to one end of a socat pseudo-terminal pair while decode reads the other.

usage: live_convert_test.py RTCMV TESTDATA_DIR   (exit 77: skipped)"""
import json
import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "live"))
from liveproc import LiveCase, free_port, ss, wait_for  # noqa: E402


def messages(texts):
    return [json.loads(t) for t in texts if t.startswith("{")]

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
        self.assertTrue(wait_for(lambda: ss("-Htln", "( sport = :%d )" % rtcm2_port), 10), errors.texts())
        _, lines, _ = self.start(RTCMV, "decode", "tcp://127.0.0.1:%d" % rtcm2_port, "--format", "json")
        enough = lambda texts: {3, 18, 19} <= {m["Message_Type"] for m in messages(texts)}
        self.assertTrue(lines.wait_for(enough, 60), (lines.texts()[-3:], errors.texts()))
        self.assertEqual({m["Reference_Station_Id"] for m in messages(lines.texts())}, {17})

    def test_rtcm2_written_to_a_serial_line(self):
        a, b = os.path.join(self.dir, "ttyA"), os.path.join(self.dir, "ttyB")
        self.start("socat", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b)
        self.assertTrue(wait_for(lambda: os.path.exists(a) and os.path.exists(b), 5))
        decoder, lines, _ = self.start(RTCMV, "decode", "serial://%s?baud=115200" % b, "--format", "json")
        # A pseudo-terminal holds only a few KiB for a reader not yet there: the decoder opens first.
        device = os.path.realpath(b)
        fds = "/proc/%d/fd" % decoder.pid
        opened = lambda: any(os.path.realpath(os.path.join(fds, fd)) == device for fd in os.listdir(fds))
        self.assertTrue(wait_for(opened, 10))
        converter, _, errors = self.start(RTCMV, "convert", RECORDING, "--messages", "3:10,18:1,19:1",
                                          "-o", "serial://%s?baud=115200" % a)
        self.assertEqual(converter.wait(60), 0, errors.texts())
        # 19 messages of type 3 and 744 each of 18 and 19 (the recording dated by its ephemeris): all.
        self.assertTrue(lines.wait_for(lambda texts: len(messages(texts)) >= 19 + 2 * 744, 30), len(lines.texts()))


if __name__ == "__main__":
    if not os.path.exists(RECORDING) or not all(shutil.which(p) for p in ("str2str", "ss", "socat")):
        print("skipped: no recording, str2str, ss or socat")
        sys.exit(77)
    sys.exit(0 if unittest.main(argv=sys.argv[:1], exit=False).result.wasSuccessful() else 1)
