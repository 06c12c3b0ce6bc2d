#!/usr/bin/python3
"""tools/ovantrex-fleet on a folder of generated lanes' traces whose
outcomes are known, with a link to nothing, random bytes and a FIFO that no
one writes among them; the same rows as one run of ovantrex per trace; the
faults of a hostile user and a hostile machine, with an ovantrex that
misbehaves on the traces named for it; then the same folder on a Dask
scheduler with two workers started here on 127.0.0.1: the same rows and
report, and a cluster that has no worker, loses its scheduler or is started
as docs/fleet.md says.

    fleet_test.py TOOL OVANTREX SCHEMA local|dask  (CTest runs both)
    fleet_test.py --make FOLDER COUNT [WRITES]     (writes COUNT lanes' traces)
"""
import json
import os
import pty
import random
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import tty
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
            # The tool's member names the file as it was when it was read.
            status = os.stat(RUN["lanes"][lane])
            self.assertEqual(row["fleet"]["file"], [status.st_dev, status.st_ino,
                                                    status.st_size, status.st_mtime_ns])
        # A row is the program's summary, with the status, the error and the
        # tool's member.
        import jsonschema  # pylint: disable=import-outside-toplevel
        with open(ARGS["schema"], encoding="utf-8") as schema:
            jsonschema.validate({k: v for k, v in rows[0].items()
                                 if k not in ("status", "error", "fleet")}, json.load(schema))

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
        # failed (3, 13, ..., 293) after the checksum and the reset, 30 were
        # cut off after the checksum (7, ..., 297) and 228 completed. The 42
        # lanes with a refused write: 10 + 4 at each of 3 addresses. Each
        # store holds 8 completed, 1 failed and 1 unfinished last update;
        # every reply comes 3 ms after its command.
        first_command = len(Trace().record(42, b"Firmware update utility 4.2 started\n").data)
        read = "(300 traces; 3 could not be read):"
        self.assertEqual(RUN["local"].stderr.splitlines(), [
            "ovantrex-fleet: 303 traces read, 3 could not be read",
            "updates: 240 completed, 42 failed, 30 unfinished",
            "traces by their last update: 240 completed, 30 failed, 30 unfinished; 0 with no "
            "update",
            "last updates by the last step reached " + read,
            "     270  device reset",
            "      30  checksum written",
            "failed last updates by error reply (30 traces; 3 could not be read):",
            "      30  Command complete; Operation in Error",
            "failed last updates by the command refused (30 traces; 3 could not be read):",
            "      30  flash write in page 0x018000-0x018fff",
            "unfinished last updates by reason (30 traces; 3 could not be read):",
            "      30  checksum written but no reset",
            "devices by EC level before the update " + read,
            "     300  not reported",
            "devices by EC level after the update " + read,
            "     300  not reported",
            "response times, the lanes' medians " + read,
            "  last update: 300 lanes, median 3 ms, 95th percentile 3 ms",
            "  start flash update: 300 lanes, median 3 ms, 95th percentile 3 ms",
            "  flash write: 300 lanes, median 3 ms, 95th percentile 3 ms",
            "  checksum write: 300 lanes, median 3 ms, 95th percentile 3 ms",
            "slowest lanes (by their slowest exchange):"] + [
            "        3 ms  %s: start flash update at offset %d" % (RUN["lanes"][lane], first_command)
            for lane in range(5)] + [
            "groups with the largest share of failed or unfinished last updates (31 groups, "
            "depth 1):",
            "  traces  unread  completed  failed  unfinished  no update  group"] + [
            "      10       0          8       1           1          0  %s" % os.path.dirname(
                RUN["lanes"][lane]) for lane in range(0, 50, 10)] + [
            "lanes by error reply, any update " + read,
            "      42  Command complete; Operation in Error",
            "lanes by failing address, the flash write before an error reply " + read,
            "      14  0x018000",
            "      14  0x018040",
            "      14  0x018080",
            "traces that could not be read:",
            "  %s: Could not open '%s' for reading" % (RUN["gone"], RUN["gone"]),
            "  %s: %s" % (RUN["noise"], RUN["rows"][LANES + 1]["error"]),
            "  %s: no summary within 2 s: ovantrex was stopped" % RUN["stuck"]])

    def test_the_rows_are_those_of_one_run_of_ovantrex_per_trace(self):
        # Each row as a run of `ovantrex --summary --json -f` on its trace
        # alone makes it: the trace as given, the status and the error, then
        # the summary's other members in their order, byte for byte; then
        # the tool's own member, last.
        expected, members = [], []
        for name, line in zip(RUN["lanes"], RUN["local"].stdout.splitlines()):
            done = subprocess.run([ARGS["ovantrex"], "--summary", "--json", "-f", name],
                                  capture_output=True, check=True)
            summary = json.loads(done.stdout)
            row = {"trace": {"name": name, "bytes": summary.pop("trace")["bytes"]},
                   "status": 0, "error": None}
            row.update(summary)
            expected.append(json.dumps(row, separators=(",", ":")))
            members.append(',"fleet":' + json.dumps(json.loads(line)["fleet"],
                                                    separators=(",", ":")) + "}")
        self.assertEqual(RUN["local"].stdout.splitlines()[:LANES],
                         [row[:-1] + member for row, member in zip(expected, members)])


# ---- An ovantrex that misbehaves on the traces named for it ----

FAKE_OVANTREX = r"""#!/usr/bin/python3
# ovantrex as a test has it misbehave on the traces named for it, run as the
# fleet tool runs it (--list, or -f of one trace): kill-once- ends by SIGKILL
# the first time, kill-always- every time, rt-signal- by SIGRTMIN+6;
# empty-object- writes {} as its row; slow- takes a second first; stuck-
# waits on a child that sleeps a minute, as a wrapper without exec would.
# Any other trace is summarized by the real program.
import os, signal, subprocess, sys, time
REAL, STATE = os.environ["FAKE_OVANTREX"], os.environ["FAKE_STATE"]
with open(os.path.join(STATE, "starts"), "a") as starts:
    starts.write("%d\n" % os.getpid())

def misbehave(path):
    base = os.path.basename(path)
    if base.startswith("kill-once-") and not os.path.exists(os.path.join(STATE, base)):
        open(os.path.join(STATE, base), "w").close()
        os.kill(os.getpid(), signal.SIGKILL)
    if base.startswith("kill-always-"):
        os.kill(os.getpid(), signal.SIGKILL)
    if base.startswith("rt-signal-"):
        os.kill(os.getpid(), signal.SIGRTMIN + 6)
    if base.startswith("empty-object-"):
        print("{}", flush=True)
        return True
    if base.startswith("slow-"):
        time.sleep(1)
    if base.startswith("stuck-"):
        child = subprocess.Popen(["sleep", "60"])
        with open(os.path.join(STATE, "stuck.pid"), "w") as out:
            out.write(str(child.pid))
        child.wait()
    return False

args = sys.argv[1:]
if "-f" in args:
    if not misbehave(args[args.index("-f") + 1]):
        os.execv(REAL, [REAL] + args)
    sys.exit(0)
for line in sys.stdin.buffer.read().split(b"\n"):
    if line and not misbehave(os.fsdecode(line)):
        sys.stdout.buffer.write(subprocess.run([REAL] + args, input=line + b"\n",
                                               stdout=subprocess.PIPE).stdout)
        sys.stdout.flush()
"""


class Scratch(unittest.TestCase):
    """A folder of the test's own with the misbehaving ovantrex in it."""

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="ovantrex-hostile-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.addCleanup(self.end_leftovers)
        os.chmod(self.dir, 0o755)
        self.state = self.path("state")
        os.mkdir(self.state)
        os.chmod(self.state, 0o777)
        self.fake = self.path("ovantrex")
        with open(self.fake, "w", encoding="ascii") as out:
            out.write(FAKE_OVANTREX)
        os.chmod(self.fake, 0o755)
        self.env = dict(os.environ, FAKE_OVANTREX=ARGS["ovantrex"], FAKE_STATE=self.state)

    def leftovers(self):
        """The processes of a run of the test's that are still running."""
        return [pid for pid in children_of(None) if pid != os.getpid() and running(pid)
                and self.dir.encode() in open("/proc/%d/cmdline" % pid, "rb").read()]

    def end_leftovers(self):
        for pid in self.leftovers():
            os.kill(pid, signal.SIGKILL)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def lanes(self, *names, folder="lanes"):
        """Traces of lanes 0, 1, ... under these names (3 is refused), as
        paths from the test's folder, in the order given."""
        os.makedirs(self.path(folder), exist_ok=True)
        paths = [os.path.join(folder, name) for name in names]
        for lane, path in enumerate(paths):
            with open(self.path(path), "wb") as out:
                out.write(lane_trace(lane, 4))
        return paths

    def command(self, *args, program=None):
        return [sys.executable, ARGS["tool"], "--program", program or self.fake, "--timeout",
                "5", *args]

    def tool(self, *args, program=None, **kwargs):
        return subprocess.run(self.command(*args, program=program), capture_output=True,
                              cwd=self.dir, env=self.env, check=False, **kwargs)

    def rows(self, done):
        return [json.loads(line) for line in done.stdout.splitlines()]

    def assertTrueRow(self, row, lane):  # pylint: disable=invalid-name
        self.assertEqual((row["status"], row["error"]), (0, None))
        self.assertEqual([u["outcome"] for u in row["updates"]], plan(lane)[0])



class Hostile(Scratch):
    """The tool run as a hostile user would, and on a machine where things
    go wrong: each case on a few small traces."""

    def test_an_output_that_the_run_reads_is_refused_and_left_as_it_was(self):
        a, b = self.lanes("a.trc", "b.trc")
        os.link(self.path(b), self.path("hard.trc"))
        with open(self.path("list"), "w", encoding="ascii") as out:
            out.write(self.path(a) + "\n")
        program = self.path("copy-of-ovantrex")
        shutil.copy(ARGS["ovantrex"], program)
        cases = [("a trace", ["lanes/a.trc", "lanes/b.trc"], b, "the trace lanes/b.trc"),
                 ("another spelling of it", ["lanes"], "./lanes//b.trc", "the trace lanes/b.trc"),
                 ("a hard link of it", ["lanes"], "hard.trc", "the trace lanes/b.trc"),
                 ("the list", ["--list", "list"], "list", "the list"),
                 ("the program", ["lanes"], program, "the program")]
        for what, args, output, which in cases:
            with self.subTest(what):
                before = open(self.path(output), "rb").read()
                done = self.tool(*args, "-o", output,
                                 program=program if which == "the program" else None)
                self.assertEqual((done.returncode, done.stdout, done.stderr), (
                    2, b"", ("ovantrex-fleet: cannot write %s: it is %s, which the run reads\n" %
                             (output, which)).encode()))
                self.assertEqual(open(self.path(output), "rb").read(), before)
        self.assertEqual(sorted(os.listdir(self.dir)), sorted(
            ["copy-of-ovantrex", "hard.trc", "lanes", "list", "ovantrex", "state"]))

    def test_a_run_that_ends_early_leaves_the_older_rows_or_puts_what_finished_in_place(self):
        self.lanes("lane-0.trc", "lane-1.trc", "slow-2.trc", "slow-3.trc", "stuck-4.trc")
        for ending in (signal.SIGKILL, signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal.Signals(ending).name):
                with open(self.path("rows.jsonl"), "w", encoding="ascii") as out:
                    out.write("older rows\n")
                with open(self.path("report"), "wb") as report:
                    child = subprocess.Popen(self.command("--jobs", "1", "lanes", "-o",
                                                          "rows.jsonl"),
                                             cwd=self.dir, env=self.env, stderr=report)
                # The stuck trace's child: the run is at the last trace.
                pid_file = os.path.join(self.state, "stuck.pid")
                for _ in range(200):
                    if os.path.exists(pid_file):
                        break
                    time.sleep(0.05)
                time.sleep(0.1)
                sent = time.monotonic()
                child.send_signal(ending)
                child.wait(timeout=10)
                took = time.monotonic() - sent
                stuck = int(open(pid_file).read())
                os.unlink(pid_file)
                report = open(self.path("report"), encoding="utf-8").read()
                os.unlink(self.path("report"))
                rows = open(self.path("rows.jsonl"), encoding="ascii").read().splitlines()
                if ending == signal.SIGKILL:
                    # A crash: the older rows stay, beside the new ones begun.
                    self.assertEqual(rows, ["older rows"])
                    os.kill(stuck, signal.SIGKILL)
                    for begun in os.listdir(self.dir):
                        if begun.startswith(".rows.jsonl.") and begun.endswith(".part"):
                            os.unlink(self.path(begun))
                    continue
                self.assertEqual(child.returncode, 128 + ending)
                self.assertLess(took, 1.5)
                self.assertEqual([json.loads(row)["trace"]["name"] for row in rows],
                                 ["lanes/lane-0.trc", "lanes/lane-1.trc", "lanes/slow-2.trc",
                                  "lanes/slow-3.trc"])
                self.assertIn("\nstopped by %s: 4 of 5 traces read; the rest have no row\n" %
                              signal.Signals(ending).name, report)
                self.assertFalse(running(stuck), "the program's child was left running")
                self.assertEqual(self.leftovers(), [], "processes of the run were left running")
                self.assertEqual(sorted(os.listdir(self.dir)),
                                 ["lanes", "ovantrex", "rows.jsonl", "state"])

    def test_a_trace_that_kills_its_run_twice_or_gets_no_row_fails_alone(self):
        # A run that dies is taken up again at the trace it died on; only a
        # trace that kills the second run too, whose row is no summary, or
        # that takes too long (its whole process group ended) gets an error.
        names = ["lane-0.trc", "kill-once-1.trc", "empty-object-2.trc", "kill-always-3.trc",
                 "rt-signal-4.trc", "stuck-5.trc", "kill-once-6.trc", "lane-7.trc"]
        started = time.monotonic()
        done = self.tool("--jobs", "1", "--timeout", "1", *self.lanes(*names))
        self.assertLess(time.monotonic() - started, 5)
        rows = self.rows(done)
        self.assertEqual([(r["trace"]["name"], r["status"], r["error"]) for r in rows], [
            ("lanes/" + name, status, error) for name, (status, error) in zip(names, [
                (0, None), (0, None),
                (None, "ovantrex wrote no summary of it: its row has no 'trace'"),
                (None, "ovantrex was ended by SIGKILL"),
                (None, "ovantrex was ended by signal %d" % (signal.SIGRTMIN + 6)),
                (None, "no summary within 1 s: ovantrex was stopped"), (0, None), (0, None)])])
        for lane in (0, 1, 6, 7):
            self.assertTrueRow(rows[lane], lane)
        self.assertFalse(running(int(open(os.path.join(self.state, "stuck.pid")).read())))
        self.assertEqual(done.returncode, 1)

    def test_a_folder_that_cannot_be_read_gets_its_row(self):
        self.lanes("lane-0.trc", folder="lanes/store-0")
        self.lanes("lane-1.trc", folder="lanes/store-1")
        self.lanes("lane-2.trc", folder="lanes/store-2")
        os.chmod(self.path("lanes", "store-1"), 0)
        as_nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
        done = subprocess.run((as_nobody if os.geteuid() == 0 else []) + self.command("lanes"),
                              capture_output=True, cwd=self.dir, env=self.env, check=False)
        os.chmod(self.path("lanes", "store-1"), 0o755)
        rows = self.rows(done)
        self.assertEqual([r["trace"]["name"] for r in rows],
                         ["lanes/store-0/lane-0.trc", "lanes/store-1", "lanes/store-2/lane-2.trc"])
        self.assertEqual(rows[1], {"trace": {"name": "lanes/store-1", "bytes": None},
                                   "status": None,
                                   "error": "cannot read the folder: Permission denied"})
        self.assertIn(b"\n  lanes/store-1: cannot read the folder: Permission denied\n",
                      done.stderr)
        self.assertEqual(done.returncode, 1)

    def test_options_that_cannot_work_and_outputs_that_fail_end_with_one_message(self):
        self.lanes("lane-0.trc")
        cases = [(["--timeout", bad, "lanes"], "argument --timeout: invalid seconds value")
                 for bad in ("nan", "inf", "-1", "0")]
        cases += [(["--scheduler", "foo://127.0.0.1:1", "lanes"],
                   "ovantrex-fleet: no Dask scheduler at foo://127.0.0.1:1: "),
                  (["lanes", "-o", "/dev/full"],
                   "ovantrex-fleet: cannot write /dev/full: No space left on device")]
        for args, message in cases:
            with self.subTest(" ".join(args)):
                done = self.tool(*args)
                self.assertEqual(done.returncode, 2)
                self.assertIn(message, done.stderr.decode())
                self.assertNotIn(b"Traceback", done.stderr)
                if "--timeout" not in args:  # argparse writes the usage too
                    self.assertEqual(len(done.stderr.splitlines()), 1)
        done = self.tool("lanes", program=ARGS["ovantrex"])
        with_a_long_timeout = self.tool("--timeout", "1e308", "lanes", program=ARGS["ovantrex"])
        self.assertEqual((with_a_long_timeout.returncode, with_a_long_timeout.stdout),
                         (0, done.stdout))

    def test_no_more_processes_than_traces(self):
        self.lanes("slow-0.trc")
        child = subprocess.Popen(self.command("--jobs", "100", "lanes"), cwd=self.dir,
                                 env=self.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        # The first start asks the program its version; the second runs the
        # batch.
        starts = os.path.join(self.state, "starts")
        for _ in range(200):
            if os.path.exists(starts) and len(open(starts, encoding="ascii").readlines()) >= 2:
                break
            time.sleep(0.05)
        children = children_of(child.pid)
        child.wait()
        self.assertEqual(len(children), 1)

    def test_a_file_under_many_names_is_read_once_under_the_first(self):
        (trace,) = self.lanes("a.trc")
        os.link(self.path(trace), self.path("hard.trc"))
        os.symlink(trace, self.path("link.trc"))
        done = self.tool("./lanes", trace, self.path(trace), "lanes//a.trc", "hard.trc",
                         "link.trc")
        self.assertEqual([r["trace"]["name"] for r in self.rows(done)], ["./lanes/a.trc"])
        self.assertEqual(done.stderr.decode().splitlines()[:3], [
            "ovantrex-fleet: 1 trace read, 0 could not be read",
            "5 names were the same file as a name before, and read once",
            "updates: 1 completed, 0 failed, 0 unfinished"])

    def test_the_report_on_a_terminal_is_escaped_as_ovantrex_escapes_it(self):
        os.mkdir(self.path("lanes"))
        name = "\x1b]0;owned\x07\x1b[2J\r\u202e\nforged: line.trc"
        os.symlink("nowhere", self.path("lanes", name))
        leader, terminal = pty.openpty()
        tty.setraw(terminal)
        done = subprocess.run(self.command("lanes"), cwd=self.dir, env=self.env, check=False,
                              stdout=subprocess.PIPE, stderr=terminal)
        os.close(terminal)
        report = b""
        while select.select([leader], [], [], 0.5)[0]:
            try:
                report += os.read(leader, 65536)
            except OSError:
                break
        os.close(leader)
        shown = "lanes/\\x1b]0;owned\\x07\\x1b[2J\\x0d\\xe2\\x80\\xae\\x0aforged: line.trc"
        self.assertEqual(report.decode().splitlines()[-1],
                         "  %s: Could not open '%s' for reading" % (shown, self.path(
                             "lanes", "") + shown[len("lanes/"):]))
        # The row names it as ovantrex writes strings: a character per byte.
        self.assertEqual(self.rows(done)[0]["trace"]["name"],
                         os.fsencode("lanes/" + name).decode("latin-1"))

    def test_traces_named_in_capitals_are_found_and_no_traces_names_the_pattern(self):
        self.lanes("LANE-0003.TRC", "lane-0004.Trc", folder="upper")
        os.mkdir(self.path("empty"))
        self.assertEqual([r["trace"]["name"] for r in self.rows(self.tool("upper"))],
                         ["upper/LANE-0003.TRC", "upper/lane-0004.Trc"])
        done = self.tool("empty")
        self.assertEqual((done.returncode, done.stderr), (2, b"ovantrex-fleet: no traces found "
                                                             b"(no file named like *.[tT][rR][cC] "
                                                             b"in the folders given)\n"))


def running(pid):
    """Whether the process is there and not a zombie."""
    try:
        with open("/proc/%d/stat" % pid, encoding="ascii") as status:
            return status.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def children_of(pid):
    """The children of the process; every process for None."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry, encoding="ascii") as status:
                if pid is None or int(status.read().rsplit(")", 1)[1].split()[1]) == pid:
                    found.append(int(entry))
        except (OSError, ValueError):
            continue
    return found


class DaskCluster(Scratch):
    """Schedulers and workers on 127.0.0.1 and ports that the system picks,
    stopped however the test ends; the workers run the test's misbehaving
    ovantrex when they are asked to."""

    def start(self, module, *args):
        child = subprocess.Popen([sys.executable, "-m", "distributed.cli." + module, "--host",
                                  "127.0.0.1", "--no-dashboard", *args], cwd=self.dir,
                                 env=self.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, start_new_session=True)
        self.addCleanup(stop, child)
        return child

    def cluster(self, workers):
        """Starts a scheduler and workers of one thread; its address and the
        scheduler's process."""
        where = tempfile.mktemp(suffix=".json", prefix="scheduler-", dir=self.dir)
        scheduler = self.start("dask_scheduler", "--port", "0", "--scheduler-file", where)
        for _ in range(workers):
            self.start("dask_worker", "--no-nanny", "--nthreads", "1", "--scheduler-file", where)
        for _ in range(300):
            if os.path.exists(where):
                break
            time.sleep(0.1)
        time.sleep(0.2)
        with open(where, encoding="utf-8") as info:
            address = json.load(info)["address"]
        if workers:
            from distributed import Client  # pylint: disable=import-outside-toplevel
            with Client(address, timeout="30s") as client:
                client.wait_for_workers(workers, timeout=30)
        return address, scheduler

    def test_the_rows_and_the_report_are_those_of_the_local_run(self):
        address, _ = self.cluster(2)
        done = run_tool("--scheduler", address, RUN["traces"])
        self.assertEqual((done.returncode, done.stdout, done.stderr),
                         (RUN["local"].returncode, RUN["local"].stdout, RUN["local"].stderr))

    def test_a_scheduler_without_workers_ends_the_run_after_the_wait(self):
        address, _ = self.cluster(0)
        started = time.monotonic()
        done = self.tool("--scheduler", address, "--wait-for-workers", "1",
                         *self.lanes("lane-0.trc"))
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual((done.returncode, done.stdout, done.stderr), (
            2, b"", ("ovantrex-fleet: no Dask worker joined the scheduler at %s within 1 s\n" %
                     address).encode()))

    def test_a_stop_cancels_the_tasks_and_a_lost_scheduler_is_named(self):
        paths = self.lanes("lane-0.trc", "lane-1.trc", "stuck-2.trc", "lane-3.trc", "lane-4.trc")
        for ending in ("SIGINT", "the scheduler lost"):
            with self.subTest(ending):
                address, scheduler = self.cluster(1)
                with open(self.path("report"), "wb") as report:
                    child = subprocess.Popen(self.command("--scheduler", address, *paths),
                                             cwd=self.dir, env=self.env, stdout=subprocess.PIPE,
                                             stderr=report)
                stuck = self.wait_for_stuck()
                sent = time.monotonic()
                if ending == "SIGINT":
                    child.send_signal(signal.SIGINT)
                else:
                    scheduler.kill()
                rows = [json.loads(line) for line in child.communicate(timeout=30)[0].splitlines()]
                took = time.monotonic() - sent
                report = open(self.path("report"), encoding="utf-8").read()
                self.assertNotIn("Traceback", report)
                self.assertEqual([r["trace"]["name"] for r in rows[:2]], paths[:2])
                if ending == "SIGINT":
                    self.assertEqual(child.returncode, 130)
                    self.assertLess(took, 1.5)
                    self.assertEqual(len(rows), 2)
                    time.sleep(1)
                    self.assertFalse(running(stuck), "the worker's ovantrex was left running")
                    continue
                self.assertEqual(child.returncode, 1)
                self.assertEqual([(r["trace"]["name"], r["error"]) for r in rows[2:]],
                                 [(path, "not summarized: the Dask scheduler was lost")
                                  for path in paths[2:]])
                self.assertIn("\nthe Dask scheduler at %s was lost during the run\n" % address,
                              report)
                os.kill(stuck, signal.SIGKILL)

    def wait_for_stuck(self):
        """The pid of the stuck trace's child, once it runs."""
        where = os.path.join(self.state, "stuck.pid")
        for _ in range(400):
            if os.path.exists(where) and os.path.getsize(where):
                break
            time.sleep(0.05)
        pid = int(open(where, encoding="ascii").read())
        os.unlink(where)
        return pid

    def test_the_cluster_of_the_recipe_listens_on_the_address_it_is_given_alone(self):
        with open(os.path.join(os.path.dirname(ARGS["schema"]), "fleet.md"),
                  encoding="utf-8") as guide:
            recipe = guide.read().split("## On a Dask cluster")[1]
        commands = re.findall(r"^(dask-(?:scheduler|worker) .*(?:\\\n.*)*)$", recipe, re.M)
        self.assertEqual(len(commands), 2, recipe)
        ports = {}
        for port in ("8786", "8787"):
            with socket.socket() as free:
                free.bind(("127.0.0.1", 0))
                ports[port] = str(free.getsockname()[1])
        started = []
        for command in commands:
            for machine in ("10.20.0.1", "10.20.0.2"):
                command = command.replace(machine, "127.0.0.1")
            for port, free in ports.items():
                command = command.replace(":" + port, ":" + free).replace(" " + port, " " + free)
            started.append(subprocess.Popen(["bash", "-c", "exec " + command], cwd=self.dir,
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                            start_new_session=True))
            self.addCleanup(stop, started[-1])
            time.sleep(1)
        from distributed import Client  # pylint: disable=import-outside-toplevel
        with Client("tcp://127.0.0.1:" + ports["8786"], timeout="30s") as client:
            client.wait_for_workers(1, timeout=30)
        listening = [where for child in started for where in listening_on(child.pid)]
        self.assertGreaterEqual(len(listening), 4)  # the scheduler, its dashboard, the worker's
        self.assertEqual([where for where in listening if not where.startswith("127.0.0.1:")], [])


def stop(child):
    """Ends a process of a cluster and whatever it started."""
    try:
        os.killpg(child.pid, signal.SIGTERM)
        child.wait(20)
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        child.wait()
    except OSError:
        child.wait()


def listening_on(pid):
    """The addresses on which the process and its children listen (TCP)."""
    sockets = set()
    for each in [pid] + [c for child in children_of(pid) for c in [child] + children_of(child)]:
        try:
            for fd in os.listdir("/proc/%d/fd" % each):
                link = os.readlink("/proc/%d/fd/%s" % (each, fd))
                if link.startswith("socket:["):
                    sockets.add(link[8:-1])
        except OSError:
            continue
    found = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        with open(table, encoding="ascii") as lines:
            for line in lines.readlines()[1:]:
                fields = line.split()
                if fields[3] == "0A" and fields[9] in sockets:  # LISTEN
                    address, port = fields[1].split(":")
                    host = (socket.inet_ntoa(bytes.fromhex(address)[::-1]) if len(address) == 8
                            else "[%s]" % address)
                    found.append("%s:%d" % (host, int(port, 16)))
    return found


def main():
    if sys.argv[1] == "--make":
        make_lanes(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]) if len(sys.argv) > 4 else 16)
        return 0
    ARGS.update(zip(("tool", "ovantrex", "schema"), map(os.path.abspath, sys.argv[1:4])))
    cases = {"local": (Fleet, Hostile), "dask": (DaskCluster,)}[sys.argv[4]]
    folder = tempfile.mkdtemp(prefix="ovantrex-fleet-")
    try:
        make_fleet(folder)
        tests = unittest.TestSuite(unittest.defaultTestLoader.loadTestsFromTestCase(case)
                                   for case in cases)
        return 0 if unittest.TextTestRunner(verbosity=2).run(tests).wasSuccessful() else 1
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    sys.exit(main())
