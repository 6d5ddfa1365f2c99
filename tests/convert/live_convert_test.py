#!/usr/bin/env python3
"""rtcmv convert live: str2str serves an RTCM 3 recording on 127.0.0.1, convert reads it over TCP
and serves RTCM 2 with its own TCP server, and `rtcmv decode` reads that as any TCP source; and
convert writes to one end of a socat pseudo-terminal pair while decode reads the other.

usage: live_convert_test.py RTCMV TESTDATA_DIR   (exit 77: skipped)"""
import json
import os
import shutil
import socket
import subprocess
import sys
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "live"))
from liveproc import LiveCase, free_port, ss, wait_for  # noqa: E402


def messages(texts):
    return [json.loads(t) for t in texts if t.startswith("{")]

RTCMV, TESTDATA = sys.argv[1], sys.argv[2]
RECORDING = os.path.join(TESTDATA, "testglo.rtcm3")
TIME = ["--time-ref", "2009-10-02T23:00:00Z"]


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

    def serve(self, query, *clients):
        """convert reads the recording from standard input and serves it on tcp-server://...?query;
        each client is (receive buffer, seconds before it reads, stop reading after) and gets back
        the bytes it read."""
        port = free_port()
        converter, _, errors = self.start(RTCMV, "convert", "-", *TIME, "-o", "tcp-server://127.0.0.1:%d?%s"
                                          % (port, query), stdin=subprocess.PIPE)
        self.assertTrue(wait_for(lambda: ss("-Htln", "( sport = :%d )" % port), 10), errors.texts())
        threads, received = [], [bytearray() for _ in clients]

        def read(sock, delay, limit, into):
            time.sleep(delay)
            while len(into) < limit and (chunk := sock.recv(4096)):
                into.extend(chunk)
        for (buffer, delay, limit), into in zip(clients, received):
            sock = socket.socket()
            self.addCleanup(sock.close)
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, buffer)
            sock.connect(("127.0.0.1", port))
            sock.settimeout(30)
            threads.append(threading.Thread(target=read, args=(sock, delay, limit, into)))
            threads[-1].start()
        converter.stdin.write(self.data)
        converter.stdin.close()
        self.assertEqual(converter.wait(60), 0, errors.texts())
        for t in threads:
            t.join(60)
        return received, errors.texts()

    def test_a_client_that_stops_reading_is_dropped_and_the_others_get_everything(self):
        expected = subprocess.run([RTCMV, "convert", "-", *TIME], input=self.data, capture_output=True).stdout
        self.assertGreater(len(expected), 100000)
        # One reads 1000 bytes and no more; one reads all as it comes.
        (stalled, reader), errors = self.serve("queue=16384", (4096, 0, 1000), (1 << 20, 0, 1 << 30))
        self.assertTrue(any("dropped the client at 127.0.0.1" in e for e in errors), errors)
        self.assertEqual(bytes(reader), expected)
        # A client that reads only after the input has ended still gets the end of the stream.
        (late,), errors = self.serve("queue=1048576", (4096, 1.0, 1 << 30))
        self.assertEqual(bytes(late), expected, errors)

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
