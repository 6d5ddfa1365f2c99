#!/usr/bin/env python3
"""A small NTRIP caster for the tests (version 2 with chunked transfer, version 1 answers).

usage: ntrip_caster.py PORT RECORDING
Mountpoints: RTCM2 streams the recording (chunks of varied sizes), then stays open; VRS does so
once the client has sent a GGA sentence with a good checksum; GARBAGE,
OVERSIZE and CUT send the first PREFIX bytes in good chunks and then a chunk size with garbage,
an oversized chunk, or a chunk cut off by closing. Credentials user:pass; any other mountpoint
gets the sourcetable the version 1 way. Prints "ready" once it listens.
"""
import base64
import functools
import operator
import socketserver
import sys
import time

PREFIX = 1000
TABLE = (b"STR;RTCM2;Test station;RTCM 2.3;1(1),3(10),18(1),19(1);2;GPS;TEST;DEU;52.48;8.73;0;0;"
         b"rtcmv;none;B;N;9600;\r\nENDSOURCETABLE\r\n")


def chunk(data, ext=b""):
    return b"%x%s\r\n%s\r\n" % (len(data), ext, data)


class Caster(socketserver.BaseRequestHandler):
    def handle(self):
        head = b""
        while b"\r\n\r\n" not in head and len(head) < 8192:
            part = self.request.recv(1024)
            if not part:
                return
            head += part
        lines = head.split(b"\r\n")
        mount = lines[0].split(b" ")[1].lstrip(b"/").decode()
        headers = {k.strip().lower(): v.strip() for k, _, v in (l.partition(b":") for l in lines[1:] if l)}
        v2 = headers.get(b"ntrip-version") == b"Ntrip/2.0"
        send = self.request.sendall
        if mount == "" or mount not in ("RTCM2", "VRS", "GARBAGE", "OVERSIZE", "CUT"):
            if v2 and mount == "":
                send(b"HTTP/1.1 200 OK\r\nContent-Type: gnss/sourcetable\r\nTransfer-Encoding: chunked\r\n\r\n"
                     + chunk(TABLE[:40]) + chunk(TABLE[40:]) + b"0\r\n\r\n")
            else:
                send(b"SOURCETABLE 200 OK\r\nContent-Length: %d\r\n\r\n%s" % (len(TABLE), TABLE))
            return
        if headers.get(b"authorization") != b"Basic " + base64.b64encode(b"user:pass"):
            send(b"HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"/%s\"\r\n\r\n" % mount.encode())
            return
        if not v2:
            send(b"ICY 200 OK\r\n")
            self.stream(lambda data, ext=b"": send(data), DATA)
            time.sleep(60)
            return
        send(b"HTTP/1.1 200 OK\r\nNtrip-Version: Ntrip/2.0\r\nContent-Type: gnss/data\r\n"
             b"Transfer-Encoding: chunked\r\n\r\n")
        write = lambda data, ext=b"": send(chunk(data, ext))
        if mount == "VRS":
            gga = self.request.recv(1024)
            body, _, checksum = gga.strip()[1:].partition(b"*")
            if not gga.startswith(b"$GPGGA,") or int(checksum, 16) != functools.reduce(operator.xor, body):
                return
        if mount in ("RTCM2", "VRS"):
            self.stream(write, DATA)
            time.sleep(60)
            return
        self.stream(write, DATA[:PREFIX])
        send({"GARBAGE": b"1x3\r\n" + DATA[:0x13], "OVERSIZE": b"FFFFF\r\n" + DATA[:4096],
              "CUT": b"200\r\n" + DATA[:100]}[mount])

    @staticmethod
    def stream(write, data):
        at, size = 0, 1
        while at < len(data):
            size = size * 7 % 301 + 1  # varied sizes, 1 to 301 bytes
            write(data[at:at + size], b";n=1" if size % 5 == 0 else b"")
            at += size
            time.sleep(0.005)


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


if __name__ == "__main__":
    DATA = open(sys.argv[2], "rb").read()
    with Server(("127.0.0.1", int(sys.argv[1])), Caster) as server:
        print("ready", flush=True)
        server.serve_forever()
