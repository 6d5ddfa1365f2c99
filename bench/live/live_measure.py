#!/usr/bin/env python3
"""Measures rtcmv decode on a live TCP source on 127.0.0.1: the latency from a message's last
byte being sent to its JSON line being read, and the peak memory over a long stream.

usage: live_measure.py RTCMV RECORDING
The recording is decoded and encoded again into a clean stream whose message boundaries are
known (5 bytes per word). Latency, two ways: one message per burst with 200 ms between bursts
(as a caster sends them; the last message waits for the source to go quiet), and a continuous
byte stream at 960 bytes/s (a 9600 baud link; the word after a message confirms it). Memory:
the stream repeated to an hour at 960 bytes/s and to ten hours, sent as fast as it goes; the
peak resident size (VmHWM) of rtcmv at the end of each.
"""
import socket
import statistics
import subprocess
import sys
import threading
import time

RTCMV, RECORDING = sys.argv[1], sys.argv[2]


def run(*args, data=None):
    return subprocess.run([RTCMV, *args], input=data, capture_output=True, check=True).stdout


def messages():
    """The recording's messages as transmission bytes, one entry per message."""
    jsonl = run("decode", "--format", "json", RECORDING)
    stream, packed = run("encode", data=jsonl), run("encode", "--packed", data=jsonl)
    result, at, packed_at = [], 0, 0
    while packed_at < len(packed):
        words = 2 + (packed[packed_at + 5] >> 3 & 0x1F)
        result.append(stream[at:at + 5 * words])
        at, packed_at = at + 5 * words, packed_at + 3 * words
    return result


def serve(send):
    """Starts rtcmv on a TCP server that runs `send(connection)`; returns rtcmv and its port."""
    server = socket.socket()
    server.bind(("127.0.0.1", 0))
    server.listen(1)
    port = server.getsockname()[1]

    def accept():
        connection = server.accept()[0]
        with connection:
            send(connection)
            time.sleep(0.5)
    thread = threading.Thread(target=accept, daemon=True)
    thread.start()
    process = subprocess.Popen([RTCMV, "decode", "--format", "json", "--once", "tcp://127.0.0.1:%d" % port],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    return process, thread


def latency(parts, pace):
    sent = []

    def send(connection):
        for message in parts:
            for piece in pace(message):
                connection.sendall(piece)
            sent.append(time.monotonic())
    process, thread = serve(send)
    read = [time.monotonic() for _ in process.stdout]
    process.wait()
    delays = sorted(1000 * (r - s) for r, s in zip(read, sent))
    return len(delays), statistics.median(delays), delays[-1]


def memory(parts, total_bytes):
    stream = b"".join(parts)
    peak = []

    def send(connection):
        for _ in range(total_bytes // len(stream) + 1):
            connection.sendall(stream)
        time.sleep(1)
        with open("/proc/%d/status" % process.pid) as status:
            peak.extend(line.split()[1] for line in status if line.startswith("VmHWM"))
    process, thread = serve(send)
    for _ in process.stdout:
        pass
    process.wait()
    return peak[0]


def main():
    parts = messages()

    def burst(message):
        time.sleep(0.2)
        yield message

    def continuous(message):
        for at in range(0, len(message), 10):
            time.sleep(10 / 960)
            yield message[at:at + 10]
    for name, pace in (("bursts 200 ms apart", burst), ("continuous at 960 bytes/s", continuous)):
        count, median, worst = latency(parts * 2, pace)
        print("latency, %s: %d messages, median %.1f ms, worst %.1f ms" % (name, count, median, worst))
    for hours in (1, 4, 16):
        print("peak memory after %d h at 960 bytes/s (%d MB): %s kB" % (
            hours, 960 * 3600 * hours >> 20, memory(parts, 960 * 3600 * hours)))


if __name__ == "__main__":
    main()
