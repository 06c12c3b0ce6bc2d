#!/usr/bin/python3
"""tools/ovantrex-fleet on a folder of generated lanes' traces whose
outcomes are known, with a link to nothing, random bytes and a FIFO that no
one writes among them; then the same folder on a Dask scheduler with two
workers started here on 127.0.0.1: the same rows and report.

    fleet_test.py TOOL OVANTREX SCHEMA          (CTest runs it)
    fleet_test.py --make FOLDER COUNT [WRITES]  (writes COUNT lanes' traces)
"""
import json
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

# ---- Traces of format version 3, record by record ----

FIRMWARE = bytes([0, 0, 0xA0, 0, 0, 0, 0, 0])  # the HID header of the firmware report
START_FLASH, RESET = bytes([2, 0, 1, 0]), bytes([2, 0, 0, 0x40])
CHECKSUM = bytes([6, 0, 2, 0, 0, 0xAB, 0xCD, 0])
COMPLETE, IN_ERROR = 0x01, 0x41  # "Command complete", and with "Operation in Error"


class Trace:
    def __init__(self):
        self.data = bytearray(struct.pack("<IId", 0, 501, 0.0))  # the marker of version 3
        self.millis = 0

    def record(self, minor, payload):
        self.millis += 3
        seconds, millis = divmod(self.millis, 1000)
        self.data += struct.pack("<IIdIIIBBH", len(payload), minor, float(self.millis), 0x2B0,
                                 0x1A4, 1765190400 + seconds, 0, 0, millis) + payload
        return self

    def write(self, command):
        return self.record(405, FIRMWARE + command)

    def reply(self, bits):
        return self.record(406, FIRMWARE + bytes([bits, 0, 0, 0, 0, 0]))


def flash_write(address, count):
    return struct.pack("<HBBB", count + 6, 2, 0, count) + address.to_bytes(3, "big") + (
        b"\x5a" * count)


# ---- The lanes ----


def plan(lane):
    """The outcomes of the lane's updates, and the address its device refuses."""
    refused = 0x018000 + 0x40 * (lane % 3)
    if lane % 25 == 11:
        return ["failed", "completed"], refused  # refused, then retried
    if lane % 10 == 3:
        return ["failed"], refused
    if lane % 10 == 7:
        return ["unfinished"], None  # cut off before the reset
    return ["completed"], None


def lane_trace(lane, writes):
    outcomes, refused = plan(lane)
    trace = Trace().record(42, b"Firmware update utility 4.2 started\n")
    for outcome in outcomes:
        trace.write(START_FLASH).reply(COMPLETE)
        for address in range(0x018000, 0x018000 + 0x40 * writes, 0x40):
            trace.write(flash_write(address, 0x38))
            trace.reply(IN_ERROR if outcome == "failed" and address == refused else COMPLETE)
        trace.write(CHECKSUM).reply(COMPLETE)
        if outcome != "unfinished":
            trace.write(RESET)
    return bytes(trace.data)


def make_lanes(folder, count, writes=16):
    """Lanes 0 to count - 1, ten to a folder of a store."""
    names = []
    for lane in range(count):
        names.append(os.path.join(folder, "store-%02d" % (lane // 10), "lane-%04d.trc" % lane))
        os.makedirs(os.path.dirname(names[-1]), exist_ok=True)
        with open(names[-1], "wb") as out:
            out.write(lane_trace(lane, writes))
    return names


# ---- The tests ----

LANES = 300
ARGS = {}  # the tool, ovantrex and the schema
RUN = {}  # the folder and the local run over it


def run_tool(*args):
    return subprocess.run([sys.executable, ARGS["tool"], "--program", ARGS["ovantrex"],
                           "--timeout", "2", *args], capture_output=True, text=True, check=False)


def make_fleet(folder):
    """The lanes, then, in a folder that sorts after theirs, a link to
    nothing, random bytes, a FIFO and a file not named like a trace."""
    RUN["lanes"] = make_lanes(os.path.join(folder, "traces"), LANES)
    unusual = os.path.join(folder, "traces", "unusual")
    os.makedirs(unusual)
    RUN["gone"], RUN["noise"], RUN["stuck"] = (
        os.path.join(unusual, name) for name in ("gone.trc", "noise.trc", "stuck.trc"))
    os.symlink(os.path.join(folder, "nowhere"), RUN["gone"])
    with open(RUN["noise"], "wb") as out:
        out.write(random.Random(23).randbytes(5000))
    os.mkfifo(RUN["stuck"])
    with open(os.path.join(unusual, "notes.txt"), "w", encoding="ascii") as out:
        out.write("left alone\n")
    RUN["traces"] = os.path.join(folder, "traces")
    RUN["local"] = run_tool("--jobs", "2", RUN["traces"])
    RUN["rows"] = [json.loads(line) for line in RUN["local"].stdout.splitlines()]


class Fleet(unittest.TestCase):
    def test_every_lane_gives_a_row_with_its_updates_outcomes(self):
        rows = RUN["rows"]
        self.assertEqual([r["trace"]["name"] for r in rows],
                         RUN["lanes"] + [RUN["gone"], RUN["noise"], RUN["stuck"]])
        for lane, row in enumerate(rows[:LANES]):
            outcomes, refused = plan(lane)
            self.assertEqual((row["status"], row["error"]), (0, None))
            self.assertEqual([u["outcome"] for u in row["updates"]], outcomes)
            self.assertEqual([e["command"]["decoded"]["address"] for e in row["errors"]],
                             [refused] * outcomes.count("failed"))
            self.assertEqual(row["trace"]["bytes"], os.path.getsize(RUN["lanes"][lane]))
        # A row is the program's summary, with the status and the error.
        import jsonschema  # pylint: disable=import-outside-toplevel
        with open(ARGS["schema"], encoding="utf-8") as schema:
            jsonschema.validate({k: v for k, v in rows[0].items() if k not in ("status", "error")},
                                json.load(schema))

    def test_what_cannot_be_read_or_is_no_trace_gives_a_row_with_its_error(self):
        gone, noise, stuck = RUN["rows"][LANES:]
        self.assertEqual(gone, {"trace": {"name": RUN["gone"], "bytes": None}, "status": 2,
                                "error": "Could not open '%s' for reading" % RUN["gone"]})
        self.assertEqual((noise["status"], noise["records"]["total"]), (0, 0))
        self.assertRegex(noise["error"],
                         r"^not a trace: no data record found in 5000 bytes \(\d+ records? skipped\)")
        self.assertEqual(stuck, {"trace": {"name": RUN["stuck"], "bytes": None}, "status": None,
                                 "error": "no summary within 2 s: ovantrex was stopped"})
        self.assertEqual(RUN["local"].returncode, 1)

    def test_the_fleet_report_counts_the_lanes(self):
        # Of 300 lanes, 12 failed and then completed (11, 36, ..., 286), 30
        # failed (3, 13, ..., 293), 30 were cut off (7, ..., 297) and 228
        # completed. The 42 refused writes: 10 + 4 at each of 3 addresses.
        self.assertEqual(RUN["local"].stderr.splitlines(), [
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
            "  %s: Could not open '%s' for reading" % (RUN["gone"], RUN["gone"]),
            "  %s: %s" % (RUN["noise"], RUN["rows"][LANES + 1]["error"]),
            "  %s: no summary within 2 s: ovantrex was stopped" % RUN["stuck"]])


class DaskCluster(unittest.TestCase):
    """A scheduler and two workers of one thread, on 127.0.0.1 and ports that
    the system picks, stopped however the test ends."""

    def start(self, module, *args):
        child = subprocess.Popen([sys.executable, "-m", "distributed.cli." + module, "--host",
                                  "127.0.0.1", "--no-dashboard", *args], cwd=self.dir,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, child)

    @staticmethod
    def stop(child):
        child.terminate()
        try:
            child.wait(20)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()

    def test_the_rows_and_the_report_are_those_of_the_local_run(self):
        self.dir = tempfile.mkdtemp(prefix="ovantrex-dask-")
        self.addCleanup(shutil.rmtree, self.dir)
        where = os.path.join(self.dir, "scheduler.json")
        self.start("dask_scheduler", "--port", "0", "--scheduler-file", where)
        for _ in range(2):
            self.start("dask_worker", "--no-nanny", "--nthreads", "1", "--scheduler-file", where)
        for _ in range(300):
            if os.path.exists(where):
                break
            time.sleep(0.1)
        with open(where, encoding="utf-8") as info:
            address = json.load(info)["address"]
        from distributed import Client  # pylint: disable=import-outside-toplevel
        with Client(address, timeout="30s") as client:
            client.wait_for_workers(2, timeout=30)
        done = run_tool("--scheduler", address, RUN["traces"])
        self.assertEqual((done.returncode, done.stdout, done.stderr),
                         (RUN["local"].returncode, RUN["local"].stdout, RUN["local"].stderr))


def main():
    if sys.argv[1] == "--make":
        make_lanes(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 16)
        return 0
    ARGS.update(zip(("tool", "ovantrex", "schema"), sys.argv[1:4]))
    folder = tempfile.mkdtemp(prefix="ovantrex-fleet-")
    try:
        make_fleet(folder)
        tests = unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromTestCase(case)
                                   for case in (Fleet, DaskCluster))
        return 0 if unittest.TextTestRunner(verbosity=2).run(tests).wasSuccessful() else 1
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    sys.exit(main())
