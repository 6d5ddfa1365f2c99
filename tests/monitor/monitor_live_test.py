#!/usr/bin/env python3
"""rtcmv monitor on a live stream: RTKLIB's str2str as TCP server on 127.0.0.1, fed the recording
with a pause longer than --outage (one outage of the pause's length, its alerts, the recovery), and
the terminal view in a detached tmux session (its rows, and the terminal given back on q and on
SIGINT). Every process started here is stopped by its id; every wait is bounded.

usage: monitor_live_test.py RTCMV TESTDATA_DIR
"""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "live"))
from liveproc import LiveCase, free_port, recording, wait_for  # noqa: E402

RTCMV, TESTDATA = sys.argv[1], sys.argv[2]
RECORDING = recording(TESTDATA)
PAUSE, OUTAGE = 6.0, 3
# What the view must show of the recording: its station, with its latitude, and each message type.
DECODED = [json.loads(line) for line in
           subprocess.run([RTCMV, "decode", "--format", "json", RECORDING], capture_output=True, check=True).stdout.splitlines()]
STATION = str(DECODED[0]["Reference_Station_Id"])
ROWS = {STATION} | {str(m["Message_Type"]) for m in DECODED}
LATITUDE = re.search(r"lat (-?\d+\.\d{5})", subprocess.run([RTCMV, "decode", "--quiet", "--stats", RECORDING],
                                                          capture_output=True).stderr.decode()).group(1)


def text(path):
    if not os.path.exists(path):
        return ""
    with open(path) as f:
        return f.read()


@unittest.skipUnless(shutil.which("str2str") and shutil.which("tmux"), "needs str2str and tmux")
class MonitorLiveTest(LiveCase):
    recording = RECORDING

    def serve(self, pause_at):
        """str2str serving the recording on a TCP port, pausing PAUSE seconds at `pause_at` bytes;
        the URL to read it."""
        port = free_port()
        self.str2str("tcpsvr://:%d" % port, port, pause_at=pause_at, pause=PAUSE)
        return "tcp://127.0.0.1:%d" % port

    def test_outage_alerts_and_recovery(self):
        alerts = os.path.join(self.dir, "alerts")
        url = self.serve(len(self.data) // 2)
        process, out, err = self.start(RTCMV, "monitor", "--json-every", "1", "--outage", str(OUTAGE), "--alert-cmd",
                                       'echo "$RTCMV_EVENT $RTCMV_OUTAGE_LENGTH $RTCMV_SOURCE" >> %s' % alerts, url)
        read = lambda: text(alerts).split("\n")
        self.assertTrue(wait_for(lambda: any(l.startswith("outage-end") for l in read()), 30), read())
        time.sleep(2.5)  # the rest of the recording comes in, before it is quiet for --outage again
        process.send_signal(signal.SIGINT)
        self.assertEqual(process.wait(10), 0, err.texts())
        out.thread.join(5)
        events = [line.split() for line in read() if line]
        self.assertEqual([e[0] for e in events], ["outage-start", "outage-end"])
        self.assertEqual(events[1][2], url)
        summaries = [json.loads(line) for line in out.texts()]
        outages = summaries[-1]["outages"]
        self.assertEqual(len(outages), 1, outages)
        self.assertFalse(outages[0]["open"])
        self.assertGreater(outages[0]["length_s"], PAUSE - 0.5)
        self.assertLess(outages[0]["length_s"], PAUSE + 1.5)
        self.assertAlmostEqual(float(events[1][1]), outages[0]["length_s"], delta=0.06)
        self.assertTrue(any(s["outages"] and s["outages"][0]["open"] for s in summaries), "seen while going on")
        counts = {t["type"]: t["count"] for t in summaries[-1]["types"]}
        self.assertEqual(sum(counts.values()), len(DECODED))  # every message of the recording, then the recovery
        latency = summaries[-1]["types"][0]["latency_s"]  # the recording's Z-counts in the host clock's hour
        self.assertTrue(-1800 <= latency["min"] <= latency["mean"] <= latency["max"] <= 1800, latency)

    def tmux(self, *args):
        return subprocess.run(["tmux", "-S", self.socket, *args], capture_output=True, timeout=10).stdout.decode()

    def view(self, end):
        """The view in a detached 150x60 tmux session; ended by `end` (keys sent to it)."""
        self.socket = os.path.join(self.dir, "tmux")
        done = os.path.join(self.dir, "done")
        script = "%s monitor %s; stty -a > %s; sleep 60" % (RTCMV, self.serve(len(self.data)), done)
        self.tmux("new-session", "-d", "-x", "150", "-y", "60", script)
        server = int(self.tmux("display", "-p", "#{pid}"))
        self.addCleanup(lambda: (self.tmux("kill-server"), wait_for(lambda: not os.path.exists("/proc/%d" % server), 5)))
        rows = lambda: {line.split()[0] for line in self.tmux("capture-pane", "-p").splitlines() if line[:1].isdigit()}
        self.assertTrue(wait_for(lambda: ROWS <= rows(), 20),
                        self.tmux("capture-pane", "-p"))
        screen = self.tmux("capture-pane", "-p")
        self.assertEqual(self.tmux("display", "-p", "#{alternate_on}").strip(), "1")
        self.tmux("send-keys", *end)
        self.assertTrue(wait_for(lambda: text(done), 10))
        self.assertEqual(self.tmux("display", "-p", "#{alternate_on}").strip(), "0", "the screen is given back")
        self.assertTrue({"icanon", "echo"} <= set(text(done).split()), "line editing and echo are back")
        return screen

    def test_view_rows_and_quit(self):
        screen = self.view(["q"])
        self.assertTrue(any(line.startswith(STATION + " ") and LATITUDE in line for line in screen.splitlines()), screen)
        self.assertIn("Outages 0", screen)

    def test_view_restores_on_sigint(self):
        self.view(["C-c"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
