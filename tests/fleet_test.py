#!/usr/bin/python3
"""tools/ovantrex-fleet on a folder of generated lanes' traces: the rows
and the fleet report from the lanes' known outcomes, a trace that cannot be
read and a file that is no trace, a list of paths, the progress bar on a
terminal, and the same rows from a Dask scheduler with two workers started
here on 127.0.0.1.

    fleet_test.py TOOL OVANTREX SCHEMA      (CTest runs it)
    fleet_test.py --make FOLDER COUNT       (writes COUNT lanes' traces)
"""
import json
import os
import pty
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

# ---- Traces of format version 3, built record by record ----

FIRMWARE = bytes([0, 0, 0xA0, 0, 0, 0, 0, 0])  # the HID header of the firmware report
TEXT, HID_WRITE, HID_READ, MARKER_V3 = 42, 405, 406, 501
CLOCK = 1765190400  # 2025-12-08T10:40:00Z


class Trace:
    def __init__(self):
        self.data = bytearray(struct.pack("<IId", 0, MARKER_V3, 0.0))
        self.millis = 0

    def record(self, minor, payload):
        self.millis += 3
        self.data += struct.pack("<IId", len(payload), minor, float(self.millis))
        seconds, millis = divmod(self.millis, 1000)
        self.data += struct.pack("<IIIBBH", 0x2B0, 0x1A4, CLOCK + seconds, 0, 0, millis)
        self.data += payload
        return self

    def text(self, words):
        return self.record(TEXT, words.encode())

    def write(self, command):
        return self.record(HID_WRITE, FIRMWARE + command)

    def reply(self, bits):
        return self.record(HID_READ, FIRMWARE + bytes([bits, 0, 0, 0, 0, 0]))


START_FLASH = bytes([0x02, 0x00, 0x01, 0x00])
RESET = bytes([0x02, 0x00, 0x00, 0x40])
COMPLETE, IN_ERROR = 0x01, 0x41  # "Command complete", and with "Operation in Error"


def flash_write(address, count):
    return struct.pack("<HBBB", count + 6, 0x02, 0x00, count) + address.to_bytes(3, "big") + (
        b"\x5a" * count)


def checksum(value):
    return bytes([0x06, 0x00, 0x02, 0x00, 0x00]) + value.to_bytes(2, "big") + b"\x00"


# ---- The lanes: what each one's trace holds, and so how its updates end ----


def plan(lane):
    """The outcomes of the lane's updates, and the address that its device
    refuses (None: none)."""
    if lane % 25 == 11:
        return ["failed", "completed"], 0x018000 + 0x40 * (lane % 3)  # refused, then retried
    if lane % 10 == 3:
        return ["failed"], 0x018000 + 0x40 * (lane % 3)
    if lane % 10 == 7:
        return ["unfinished"], None  # the lane was cut off before its reset
    return ["completed"], None


def lane_trace(lane, writes=16):
    outcomes, refused = plan(lane)
    trace = Trace().text("Firmware update utility 4.2 started, lane %d\n" % lane)
    for outcome in outcomes:
        trace.write(START_FLASH).reply(COMPLETE)
        for i in range(writes):
            address = 0x018000 + 0x40 * i
            trace.write(flash_write(address, 0x38))
            trace.reply(IN_ERROR if outcome == "failed" and address == refused else COMPLETE)
        trace.write(checksum(0xABCD)).reply(COMPLETE)
        if outcome != "unfinished":
            trace.write(RESET)
    return bytes(trace.data)


def make_lanes(folder, count, writes=16):
    """Lanes 0 to count - 1, ten to a subfolder."""
    names = []
    for lane in range(count):
        sub = os.path.join(folder, "store-%02d" % (lane // 10))
        os.makedirs(sub, exist_ok=True)
        names.append(os.path.join(sub, "lane-%04d.trc" % lane))
        with open(names[-1], "wb") as out:
            out.write(lane_trace(lane, writes))
    return names


# ---- The test ----

LANES = 300
TIMEOUT = 2  # seconds for one trace: the FIFO waits for it
TOOL = OVANTREX = SCHEMA = None
FLEET = None  # the folder of traces and the local run over it, made once


def run_tool(*args, **kwargs):
    return subprocess.run([sys.executable, TOOL, "--program", OVANTREX, *args],
                          capture_output=True, text=True, check=False, **kwargs)


def rows_of(text):
    return [json.loads(line) for line in text.splitlines()]


class Made:
    """The lanes' traces, and beside them, in a folder that sorts after the
    lanes' folders, a link to nothing, random bytes, a FIFO that no one
    writes and a file not named like a trace; then the local run."""

    def __init__(self, folder):
        self.dir = folder
        self.traces = os.path.join(folder, "traces")
        self.lanes = make_lanes(self.traces, LANES)
        unusual = os.path.join(self.traces, "unusual")
        os.makedirs(unusual)
        self.gone = os.path.join(unusual, "gone.trc")
        os.symlink(os.path.join(folder, "nowhere"), self.gone)
        self.noise = os.path.join(unusual, "noise.trc")
        with open(self.noise, "wb") as out:
            out.write(random.Random(23).randbytes(5000))
        self.stuck = os.path.join(unusual, "stuck.trc")
        os.mkfifo(self.stuck)
        with open(os.path.join(unusual, "notes.txt"), "w", encoding="ascii") as out:
            out.write("not named like a trace: left alone\n")
        self.local = run_tool("--jobs", "2", "--timeout", str(TIMEOUT), self.traces)


class Fleet(unittest.TestCase):
    def __getattr__(self, name):
        return getattr(FLEET, name)

    def test_every_lane_gives_a_row_with_its_updates_outcomes(self):
        rows = rows_of(self.local.stdout)
        unusual = [self.gone, self.noise, self.stuck]
        self.assertEqual([r["trace"]["name"] for r in rows], self.lanes + unusual)
        for lane, row in enumerate(rows[:LANES]):
            outcomes, refused = plan(lane)
            self.assertEqual((row["status"], row["error"]), (0, None), row["trace"])
            self.assertEqual([u["outcome"] for u in row["updates"]], outcomes, row["trace"])
            self.assertEqual(row["trace"]["bytes"], os.path.getsize(self.lanes[lane]))
            addresses = [e["command"]["decoded"]["address"] for e in row["errors"]]
            self.assertEqual(addresses, [refused] * outcomes.count("failed"))
        # A row is the program's summary, with the status and the error.
        import jsonschema  # pylint: disable=import-outside-toplevel
        summary = {k: v for k, v in rows[0].items() if k not in ("status", "error")}
        jsonschema.validate(summary, json.load(open(SCHEMA, encoding="utf-8")))

    def test_what_cannot_be_read_or_is_no_trace_gives_a_row_with_its_error(self):
        gone, noise, stuck = rows_of(self.local.stdout)[LANES:]
        self.assertEqual(gone, {"trace": {"name": self.gone, "bytes": None}, "status": 2,
                                "error": "Could not open '%s' for reading" % self.gone})
        self.assertEqual((noise["status"], noise["trace"]["bytes"], noise["records"]["total"]),
                         (0, 5000, 0))
        self.assertRegex(noise["error"], r"^not a trace: no data record in 5000 bytes \(\d+ "
                                         r"skipped\)$")
        self.assertEqual(stuck, {"trace": {"name": self.stuck, "bytes": None}, "status": None,
                                 "error": "no summary within 2 s: ovantrex was stopped"})
        self.assertEqual(self.local.returncode, 1)

    def test_the_fleet_report_counts_the_lanes(self):
        # Of the 300 lanes, 12 failed and then completed (11, 36, ..., 286:
        # none ends in 3 or 7), 30 failed (3, 13, ..., 293), 30 were cut off
        # (7, 17, ..., 297) and 228 completed. The 42 refusals are of writes
        # to 0x018000 + 0x40 x (lane % 3): 10 + 4 of each.
        noise = rows_of(self.local.stdout)[LANES + 1]["error"]
        self.assertEqual(self.local.stderr.splitlines(), [
            "ovantrex-fleet: 303 traces read, 3 could not be read",
            "updates: 240 completed, 42 failed, 30 unfinished",
            "traces by their last update: 240 completed, 30 failed, 30 unfinished; 0 with no "
            "update",
            "commonest error replies:",
            "      42  Command complete; Operation in Error",
            "commonest failing addresses (the flash write before an error reply):",
            "      14  0x018000",
            "      14  0x018040",
            "      14  0x018080",
            "traces that could not be read:",
            "  %s: Could not open '%s' for reading" % (self.gone, self.gone),
            "  %s: %s" % (self.noise, noise),
            "  %s: no summary within 2 s: ovantrex was stopped" % self.stuck])

    def test_a_list_gives_its_traces_in_its_order(self):
        listed = os.path.join(self.dir, "list.txt")
        with open(listed, "w", encoding="ascii") as out:
            out.write("# the lanes to look at again\n%s\n\n%s\n%s\n" % (
                self.lanes[5], self.lanes[2], self.lanes[5]))
        output = os.path.join(self.dir, "listed.jsonl")
        done = run_tool("--list", listed, "-o", output)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stdout, "")
        with open(output, encoding="ascii") as rows:
            self.assertEqual([r["trace"]["name"] for r in rows_of(rows.read())],
                             [self.lanes[5], self.lanes[2]])

    def test_a_terminal_gets_a_progress_bar_and_a_pipe_none(self):
        self.assertNotIn("trace/s", self.local.stderr)
        master, slave = pty.openpty()
        with subprocess.Popen([sys.executable, TOOL, "--program", OVANTREX, *self.lanes[:5]],
                              stdout=subprocess.DEVNULL, stderr=slave) as child:
            os.close(slave)
            seen = b""
            while True:
                try:
                    chunk = os.read(master, 4096)
                except OSError:  # the child closed the terminal
                    break
                if not chunk:
                    break
                seen += chunk
        os.close(master)
        self.assertEqual(child.returncode, 0)
        self.assertIn(b"5/5", seen)


class DaskCluster(unittest.TestCase):
    """A scheduler and two workers of one thread each, on 127.0.0.1, on
    ports that the system picks; all three are stopped however the test
    ends."""

    def start(self, *args):
        child = subprocess.Popen([sys.executable, "-m", *args], cwd=self.dir,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, child)
        return child

    @staticmethod
    def stop(child):
        child.terminate()
        try:
            child.wait(10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="ovantrex-dask-")
        self.addCleanup(shutil.rmtree, self.dir)
        where = os.path.join(self.dir, "scheduler.json")
        quiet = ["--host", "127.0.0.1", "--no-dashboard"]
        self.start("distributed.cli.dask_scheduler", *quiet, "--port", "0",
                   "--scheduler-file", where)
        for _ in range(2):
            self.start("distributed.cli.dask_worker", *quiet, "--no-nanny", "--nthreads", "1",
                       "--local-directory", self.dir, "--scheduler-file", where)
        deadline = time.monotonic() + 30
        while not os.path.exists(where) and time.monotonic() < deadline:
            time.sleep(0.1)
        with open(where, encoding="utf-8") as info:
            self.address = json.load(info)["address"]
        # The tool runs once both workers are there.
        from distributed import Client  # pylint: disable=import-outside-toplevel
        with Client(self.address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=30)

    def test_the_rows_and_the_report_are_those_of_the_local_run(self):
        local = FLEET.local
        done = run_tool("--scheduler", self.address, "--timeout", str(TIMEOUT), FLEET.traces)
        self.assertEqual(done.returncode, local.returncode, done.stderr)
        self.assertEqual(done.stdout, local.stdout)
        self.assertEqual(done.stderr, local.stderr)


def main():
    global TOOL, OVANTREX, SCHEMA, FLEET  # pylint: disable=global-statement
    if sys.argv[1:2] == ["--make"]:
        make_lanes(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 16)
        return 0
    TOOL, OVANTREX, SCHEMA = sys.argv[1:4]
    folder = tempfile.mkdtemp(prefix="ovantrex-fleet-")
    try:
        FLEET = Made(folder)
        suite = unittest.TestSuite()
        loader = unittest.defaultTestLoader
        suite.addTests(loader.loadTestsFromTestCase(Fleet))
        suite.addTests(loader.loadTestsFromTestCase(DaskCluster))
        return 0 if unittest.TextTestRunner(verbosity=2).run(suite).wasSuccessful() else 1
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    sys.exit(main())
