"""What the tests against real servers on 127.0.0.1 share: free ports, processes whose output lines
are read with their arrival times, the recording streamed at a pace (with a pause if asked) into a
path, over UDP or to a TCP client, and str2str serving it. Every process started is stopped by its
id at the end of its test; every wait is bounded."""
import atexit
import os
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest


def recording(testdata):
    """The stream the live tests serve: rtcm2.bend.log of the shared recordings, or, where they are
    not beside the tree, the bundled sample stream eight times over (256 messages, about the size of that recording), so that the tests
    with real servers run everywhere."""
    path = os.path.join(testdata, "rtcm2.bend.log")
    if os.path.exists(path):
        return path
    sample = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "sample.rtcm2")
    copy = os.path.join(tempfile.gettempdir(), "rtcmv-live-sample-%d.rtcm2" % os.getpid())
    with open(sample, "rb") as f, open(copy, "wb") as g:
        g.write(f.read() * 8)
    atexit.register(os.remove, copy)
    return copy


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(test, timeout):
    end = time.monotonic() + timeout
    while time.monotonic() < end and not test():
        time.sleep(0.02)
    return test()


def ss(*args):
    """Whether the socket statistics list a socket for the filter in `args`."""
    return subprocess.run(["ss", *args], capture_output=True).stdout.strip() != b""


def stop(process):
    if process.poll() is None:
        process.kill()
    process.wait()
    for stream in (process.stdin, process.stdout, process.stderr):
        if stream:
            stream.close()


class Lines:
    """A process's output lines with the time each arrived, read by a thread."""

    def __init__(self, stream):
        self.lines = []
        self.thread = threading.Thread(target=self._read, args=(stream,), daemon=True)
        self.thread.start()

    def _read(self, stream):
        for line in stream:
            self.lines.append((time.monotonic(), line.decode(errors="replace").rstrip("\n")))

    def texts(self):
        return [text for _, text in self.lines]

    def wait_for(self, test, timeout):
        return wait_for(lambda: test(self.texts()), timeout)


class LiveCase(unittest.TestCase):
    recording = None

    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir)
        with open(self.recording, "rb") as f:
            self.data = f.read()

    def start(self, *args, stdin=None):
        process = subprocess.Popen(args, stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(stop, process)
        return process, Lines(process.stdout), Lines(process.stderr)

    def feed(self, target, rate, ready=lambda: True, pause_at=None, pause=0):
        """Writes the recording at `rate` bytes per second, once `ready()`, into a path (a FIFO or
        a terminal), as datagrams to ("udp", port) or to the client of ("tcp", listening socket);
        it stops for `pause` seconds before the chunk holding byte `pause_at`."""
        def run():
            step, kind = max(1, rate // 20), target[0] if isinstance(target, tuple) else "path"
            if kind == "tcp":
                sink = target[1].accept()[0]
            elif kind == "udp":
                sink = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            else:
                sink = open(target, "wb", buffering=0)
            wait_for(ready, 10)
            time.sleep(0.3)
            try:
                with sink:
                    for at in range(0, len(self.data), step):
                        if pause_at is not None and at <= pause_at < at + step:
                            time.sleep(pause)
                        if kind == "udp":
                            sink.sendto(self.data[at:at + step], ("127.0.0.1", target[1]))
                        else:
                            sink.sendall(self.data[at:at + step]) if kind == "tcp" else sink.write(self.data[at:at + step])
                        time.sleep(0.05)
                    time.sleep(30)  # the writer stays, as a live source does
            except (BrokenPipeError, ConnectionError):  # the reader has gone
                pass
        threading.Thread(target=run, daemon=True).start()

    def str2str(self, output, port, **pause):
        """str2str serving `output`, fed over TCP at 4000 bytes/s (its file input reads a FIFO in
        blocks of 32 KiB, which would not stream) once a client is connected to `port`."""
        feeder = socket.socket()
        feeder.bind(("127.0.0.1", 0))
        feeder.listen(1)
        self.addCleanup(feeder.close)
        self.start("str2str", "-in", "tcpcli://127.0.0.1:%d" % feeder.getsockname()[1], "-out", output)
        self.feed(("tcp", feeder), 4000, lambda: ss("-Htn", "state", "established", "( sport = :%d )" % port), **pause)
