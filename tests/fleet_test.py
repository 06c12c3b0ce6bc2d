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
import csv
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
EC_INFORMATION = 0x04  # the reply carries the current and the previous EC level


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
        return ["unfinished"], None  # cut off before the reset (see cut_after)
    return ["completed"], None


def cut_after(lane):
    """Where an unfinished lane's trace ends: after the start's reply, at
    its last flash write (which has no reply), or after the checksum."""
    return ("started", "writing", "checksum")[lane // 10 % 3] if lane % 10 == 7 else None


def ec_reply(lane):
    """The start's reply: lanes 0, 4, 8, ... report EC level 02.03 after
    01.09, lanes 1, 5, 9, ... 02.03 after 01.08, the others none."""
    if lane % 4 > 1:
        return bytes([COMPLETE, 0, 0, 0, 0, 0])
    return bytes([COMPLETE | EC_INFORMATION, 2, 3, 1, 9 - lane % 4, 0])


def lane_trace(lane, writes):
    outcomes, refused = plan(lane)
    trace = Trace().record(42, b"Firmware update utility 4.2 started\n")
    for outcome in outcomes:
        trace.write(START_FLASH).record(406, FIRMWARE + ec_reply(lane))
        if cut_after(lane) == "started":
            break
        for address in range(0x018000, 0x018000 + 0x40 * writes, 0x40):
            trace.write(flash_write(address, 0x38))
            if cut_after(lane) == "writing" and address == 0x018000 + 0x40 * (writes - 1):
                return bytes(trace.data)
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
    RUN["traces"], RUN["dir"] = os.path.join(folder, "traces"), folder
    RUN["local"] = run_tool("--jobs", "2", RUN["traces"])
    RUN["rows"] = [json.loads(line) for line in RUN["local"].stdout.splitlines()]
    RUN["version"] = subprocess.run([ARGS["ovantrex"], "--version"], capture_output=True,
                                    text=True, check=True).stdout.strip()
    RUN["outputs"] = run_tool("--jobs", "2", RUN["traces"], *outputs(folder, "local"))


def outputs(folder, run):
    """The options of every output besides the rows, into folder/run."""
    os.makedirs(os.path.join(folder, run))
    return [option if option.startswith("-") else os.path.join(folder, run, option) for option in (
        "-o", "rows.jsonl", "--summary-json", "summary.json", "--csv", "lanes.csv", "--metrics",
        "fleet.prom", "--metrics-by-group", "--report", "fleet.html", "--pages", "pages")] + [
        "--fail-above", "20"]


def summary_without_times(path):
    """The object of --summary-json, less the run's time and length."""
    with open(path, encoding="ascii") as written:
        summary = json.load(written)
    del summary["run"]
    return summary


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
            self.assertEqual(row["fleet"]["program"], RUN["version"])
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
        # cut off (7, 17, ..., 297: a third after the start, a third at an
        # unanswered flash write, a third after the checksum) and 228
        # completed. The 42 lanes with a refused write: 10 + 4 at each of 3
        # addresses. Each store holds 8 completed, 1 failed and 1 unfinished
        # last update; every reply comes 3 ms after its command. Half the
        # lanes report EC levels: 02.03 after 01.09 (0, 4, ...) or 01.08.
        first_command = len(Trace().record(42, b"Firmware update utility 4.2 started\n").data)
        read = "(300 traces; 3 could not be read):"
        self.assertEqual(RUN["local"].stderr.splitlines(), [
            "ovantrex-fleet: 303 traces read, 3 could not be read",
            "updates: 240 completed, 42 failed, 30 unfinished",
            "traces by their last update: 240 completed, 30 failed, 30 unfinished; 0 with no "
            "update",
            "last updates by the last step reached " + read,
            "     270  device reset",
            "      10  checksum written",
            "      10  started",
            "      10  writing",
            "failed last updates by error reply (30 traces; 3 could not be read):",
            "      30  Command complete; Operation in Error",
            "failed last updates by the command refused (30 traces; 3 could not be read):",
            "      30  flash write in page 0x018000-0x018fff",
            "unfinished last updates by reason (30 traces; 3 could not be read):",
            "      20  no checksum written and no reset",
            "      10  checksum written but no reset",
            "unfinished last updates by their unanswered last command (30 traces; 3 could not "
            "be read):",
            "      10  flash write",
            "devices by EC level before the update " + read,
            "     150  not reported",
            "      75  01.08",
            "      75  01.09",
            "devices by EC level after the update " + read,
            "     150  02.03",
            "     150  not reported",
            "response times, the lanes' medians " + read,
            "  last update: 300 lanes, median 3 ms, 95th percentile 3 ms",
            "  start flash update: 300 lanes, median 3 ms, 95th percentile 3 ms",
            "  flash write: 290 lanes, median 3 ms, 95th percentile 3 ms",
            "  checksum write: 280 lanes, median 3 ms, 95th percentile 3 ms",
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


class Outputs(unittest.TestCase):
    """The outputs besides the rows, of one run over the fleet (outputs())."""

    def path(self, name):
        return os.path.join(RUN["dir"], "local", name)

    def test_the_outputs_come_with_the_same_rows_and_a_gate_that_passes(self):
        done = RUN["outputs"]
        self.assertEqual(done.returncode, 1)  # unreadable traces; 20% is not above 20
        self.assertIn("\nthe gate: 60 of the 300 traces read (20%) failed or are unfinished: not "
                      "above 20%, passed\n", done.stderr)
        with open(self.path("rows.jsonl"), encoding="ascii") as rows:
            self.assertEqual(rows.read(), RUN["local"].stdout)
        self.assertEqual(sorted(os.listdir(os.path.dirname(self.path("x")))), [
            "fleet.html", "fleet.prom", "lanes.csv", "pages", "rows.jsonl", "summary.json"])

    def test_the_summary_json_counts_each_breakdown_in_lanes(self):
        # The lanes of test_the_fleet_report_counts_the_lanes.
        def counted(traces, **counts):
            return dict({"traces": traces, "unreadable": 3}, **counts)

        first_command = len(Trace().record(42, b"Firmware update utility 4.2 started\n").data)
        timed = {"lanes": 300, "median_ms": 3, "p95_ms": 3}
        store = {"traces": 10, "unreadable": 0, "completed": 8, "failed": 1, "unfinished": 1,
                 "no_update": 0}
        self.assertEqual(summary_without_times(self.path("summary.json")), {
            "tool": "ovantrex-fleet", "program": RUN["version"],
            "traces": {"total": 303, "read": 300, "unreadable": 3, "same_file_names": 0,
                       "reused": None},
            "updates": {"completed": 240, "failed": 42, "unfinished": 30},
            "last_updates": counted(300, by_outcome={"completed": 240, "failed": 30,
                                                     "unfinished": 30, "none": 0},
                                    by_step={"device reset": 270, "checksum written": 10,
                                             "started": 10, "writing": 10}),
            "failed": counted(30, by_error_reply={"Command complete; Operation in Error": 30},
                              by_refused_command={"flash write in page 0x018000-0x018fff": 30}),
            "unfinished": counted(30, by_reason={"no checksum written and no reset": 20,
                                                 "checksum written but no reset": 10},
                                  by_unanswered_command={"flash_write": 10}),
            "ec_levels": counted(300, before={"not reported": 150, "01.08": 75, "01.09": 75},
                                 after={"02.03": 150, "not reported": 150}),
            "response_times": counted(
                300, percentiles="by nearest rank over the lanes' medians: of n lanes, the "
                "median is the ceil(n / 2)-th fastest and the 95th percentile the "
                "ceil(0.95 n)-th", last_update=timed,
                by_kind={"start_flash_update": timed, "flash_write": dict(timed, lanes=290),
                         "checksum_write": dict(timed, lanes=280)},
                slowest_lanes=[{"trace": name, "group": os.path.dirname(name), "response_ms": 3,
                                "kind": "start_flash_update", "command": first_command}
                               for name in RUN["lanes"][:10]]),
            "groups": {"depth": 1, "traces": 303, "unreadable": 3, "by_group": [
                dict(store, group=os.path.dirname(name)) for name in RUN["lanes"][::10]] + [
                {"group": os.path.dirname(RUN["gone"]), "traces": 3, "unreadable": 3,
                 "completed": 0, "failed": 0, "unfinished": 0, "no_update": 0}]},
            "error_replies": counted(300, by_error_reply={
                "Command complete; Operation in Error": 42}, lanes_capped=0),
            "failing_addresses": counted(300, by_address={"0x018000": 14, "0x018040": 14,
                                                          "0x018080": 14}),
            "gate": {"fail_above": 20, "failed_or_unfinished": 60, "read": 300, "share": 20,
                     "above": False},
            "parting": None,  # no --compare
            "lanes_to_look_at": 60,
            "unreadable_traces": [{"trace": row["trace"]["name"], "error": row["error"]}
                                  for row in RUN["rows"][LANES:]]})

    def test_the_csv_has_a_row_for_each_lane_that_needs_a_look(self):
        with open(self.path("lanes.csv"), encoding="utf-8-sig", newline="") as table:
            self.assertIn(b"\r\n", open(self.path("lanes.csv"), "rb").read())
            rows = list(csv.reader(table))
        self.assertEqual(rows[0], ["group", "trace", "outcome", "verdict", "refused command",
                                   "address", "first error offset", "last record (UTC)"])
        looked_at = [lane for lane in range(LANES) if lane % 10 in (3, 7)]
        self.assertEqual([row[1] for row in rows[1:]], [RUN["lanes"][lane] for lane in looked_at])
        by_lane = dict(zip(looked_at, rows[1:]))
        # Lane 3: 38 records, 3 ms apart, from 10:40:00 on 8 December 2025;
        # lane 7: cut off after 3.
        failed = RUN["rows"][3]
        self.assertEqual(by_lane[3], [
            os.path.dirname(RUN["lanes"][3]), RUN["lanes"][3], "failed", failed["verdict"],
            "Flash write 56 bytes to address=0x018000", "0x018000",
            str(failed["last_update"]["first_error_offset"]), "2025-12-08T10:40:00.114Z"])
        self.assertEqual(by_lane[7][2:], ["unfinished", "update 1 unfinished: no checksum "
                                          "written and no reset", "", "", "",
                                          "2025-12-08T10:40:00.009Z"])
        self.assertEqual([by_lane[lane][5] for lane in (13, 23, 33)],
                         ["0x018040", "0x018080", "0x018000"])

    def test_the_metrics_parse_as_the_text_format_with_their_counts(self):
        from prometheus_client.parser import \
            text_string_to_metric_families  # pylint: disable=import-outside-toplevel
        with open(self.path("fleet.prom"), encoding="utf-8") as metrics:
            families = list(text_string_to_metric_families(metrics.read()))
        samples = {(s.name, tuple(sorted(s.labels.items()))): s.value
                   for family in families for s in family.samples}
        store = os.path.dirname(RUN["lanes"][0])
        expected = {("ovantrex_fleet_traces", (("state", "read"),)): 300,
                    ("ovantrex_fleet_traces", (("state", "unreadable"),)): 3,
                    ("ovantrex_fleet_last_updates", (("outcome", "completed"),)): 240,
                    ("ovantrex_fleet_last_updates", (("outcome", "failed"),)): 30,
                    ("ovantrex_fleet_last_updates", (("outcome", "unfinished"),)): 30,
                    ("ovantrex_fleet_last_updates", (("outcome", "none"),)): 0,
                    ("ovantrex_fleet_gate_above", ()): 0,
                    ("ovantrex_fleet_group_traces", (("group", store), ("state", "read"))): 10,
                    ("ovantrex_fleet_group_last_updates",
                     (("group", store), ("outcome", "failed"))): 1}
        self.assertEqual({key: samples.get(key) for key in expected}, expected)
        self.assertEqual(len([key for key in samples if key[0] == "ovantrex_fleet_group_traces"]),
                         2 * 31)
        ended = samples[("ovantrex_fleet_run_timestamp_seconds", ())]
        self.assertLess(abs(ended - os.stat(self.path("fleet.prom")).st_mtime), 60)
        self.assertGreater(samples[("ovantrex_fleet_run_duration_seconds", ())], 0)
        self.assertEqual({family.type for family in families}, {"gauge"})

    def test_the_page_draws_the_figures_and_links_each_lane_to_its_page(self):
        page = FleetPage(self.path("fleet.html"))
        self.assertTrue(page.policy_holds)
        self.assertEqual(page.handlers, [])
        self.assertEqual(page.verdict, [
            "300 traces read of 303; 3 could not be read",
            "Last updates: 240 completed, 30 failed, 30 unfinished; 0 traces with no update",
            "All updates: 240 completed, 42 failed, 30 unfinished",
            "the gate: 60 of the 300 traces read (20%) failed or are unfinished: not above 20%, "
            "passed"])
        # Each bar's title holds its figure, its length its share of the
        # longest (300 units).
        self.assertEqual(page.charts["Last updates by outcome"],
                         [("completed: 240", 300), ("failed: 30", 37.5),
                          ("unfinished: 30", 37.5)])
        self.assertEqual(page.charts["Last updates by the last step reached"],
                         [("device reset: 270", 300), ("checksum written: 10", 11.1),
                          ("started: 10", 11.1), ("writing: 10", 11.1)])
        self.assertEqual(page.charts["Devices by EC level before the update"],
                         [("not reported: 150", 300), ("01.08: 75", 150), ("01.09: 75", 150)])
        self.assertEqual(page.charts["Unfinished last updates by their unanswered last command"],
                         [("flash write: 10", 300)])
        lanes = [lane for lane in range(LANES) if lane % 10 in (3, 7)]
        self.assertEqual([row[2] for row in page.lanes], [RUN["lanes"][lane] for lane in lanes])
        failed, unfinished = page.lanes[0], page.lanes[1]
        offset = RUN["rows"][3]["last_update"]["first_error_offset"]
        self.assertEqual(failed[:4] + failed[5:], [
            "1", os.path.dirname(RUN["lanes"][3]), RUN["lanes"][3], "failed",
            "Command complete; Operation in Error after 'Flash write 56 bytes to "
            "address=0x018000'", str(offset)])
        self.assertEqual(unfinished[3:], ["unfinished", "update 1 unfinished: no checksum written "
                                          "and no reset", "", ""])
        # Each lane's page, and the offset at its entry there.
        self.assertEqual(len(page.links), len(lanes) + 30)  # and the offset of each failed one
        folder = os.path.dirname(self.path("fleet.html"))
        self.assertEqual(sorted(os.listdir(os.path.join(folder, "pages"))),
                         sorted({link.split("#")[0][len("pages/"):] for link in page.links}))
        target, entry = page.links[1].split("#")
        self.assertEqual(page.links[0], target)
        with open(os.path.join(folder, target), encoding="utf-8") as lane_page:
            self.assertIn('id="%s"' % entry, lane_page.read())
        self.assertEqual(entry, "e%d" % offset)


class FleetPage:
    """What the fleet page shows, parsed as a browser parses it: the verdict's
    lines, each chart's bars (title, width), the cells of the lanes' table
    and its links; and the page checked against its content security
    policy (the digests of its one style sheet and one script)."""

    def __init__(self, path):
        import base64  # pylint: disable=import-outside-toplevel
        import hashlib  # pylint: disable=import-outside-toplevel
        import html5lib  # pylint: disable=import-outside-toplevel
        with open(path, encoding="utf-8") as page:
            self.text = page.read()
        root = html5lib.parse(self.text, namespaceHTMLElements=False)
        elements = list(root.iter())
        # Nothing can run or load but the page's own style sheet and script.
        self.handlers = [(e.tag, key) for e in elements for key in e.attrib
                         if key.lower().startswith("on") or key in ("src", "srcdoc")]
        self.tags = {str(e.tag).split("}")[-1] for e in elements}
        policy = root.find(".//meta[@http-equiv='Content-Security-Policy']").get("content")
        digest = {tag: "sha256-" + base64.b64encode(hashlib.sha256(
            "".join(e.text or "" for e in root.iter(tag)).encode()).digest()).decode()
            for tag in ("style", "script")}
        self.policy_holds = policy == ("default-src 'none'; style-src '%s'; script-src '%s'" % (
            digest["style"], digest["script"])) and \
            len(list(root.iter("style"))) == len(list(root.iter("script"))) == 1
        self.verdict = ["".join(li.itertext()) for li in root.iterfind(".//section[@id='verdict']"
                                                                       "//li")]
        svg = "{http://www.w3.org/2000/svg}"
        self.charts = {}
        for chart in root.iter(svg + "svg"):
            self.charts[chart.get("aria-label")] = [
                (bar.find(svg + "title").text, float(bar.find(svg + "rect").get("width")))
                for bar in chart.iterfind(svg + "g") if bar.find(svg + "title") is not None]
        table = root.find(".//table[@id='error-table']/tbody")
        self.lanes = [["".join(cell.itertext()) for cell in row] for row in table]
        self.links = [a.get("href") for a in table.iter("a")]


# ---- An ovantrex that misbehaves on the traces named for it ----

FAKE_OVANTREX = r"""#!/usr/bin/python3
# ovantrex as a test has it misbehave on the traces named for it, run as the
# fleet tool runs it (--list, or -f of one trace): kill-once- ends by SIGKILL
# the first time, kill-always- every time, rt-signal- by SIGRTMIN+6;
# empty-object- writes {} as its row; slow- takes a second first; stuck-
# waits on a child that sleeps a minute, as a wrapper without exec would.
# Any other trace is summarized by the real program; --version is the real
# program's, or $FAKE_VERSION.
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
if args == ["--version"]:
    if os.environ.get("FAKE_VERSION"):
        print(os.environ["FAKE_VERSION"])
        sys.exit(0)
    os.execv(REAL, [REAL] + args)
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
                and self.dir.encode() in command_line(pid)]

    def end_leftovers(self):
        for pid in self.leftovers():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass  # it ended since

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


class Rollout(Scratch):
    """The gate, the groups, --reuse and hostile names, on a few small
    traces."""

    def summary(self, *args):
        done = self.tool("--summary-json", "summary.json", *args, program=ARGS["ovantrex"])
        return done, summary_without_times(self.path("summary.json"))

    def test_the_gate_at_and_around_its_threshold(self):
        # 2 of 10 lanes need a look (3 failed, 7 unfinished): 20%.
        self.lanes(*("lane-%d.trc" % lane for lane in range(10)))
        words = "the gate: 2 of the 10 traces read (20%) failed or are unfinished: "
        for limit, status, answer in [("0", 3, "above 0%, status 3"),
                                      ("19.99", 3, "above 19.99%, status 3"),
                                      ("20", 0, "not above 20%, passed"),
                                      ("20.0", 0, "not above 20%, passed"),
                                      ("100", 0, "not above 100%, passed")]:
            with self.subTest(limit):
                done, summary = self.summary("--fail-above", limit, "lanes", "-o", "rows.jsonl")
                self.assertEqual(done.returncode, status)
                self.assertIn("\n" + words + answer + "\n", done.stderr.decode())
                self.assertEqual(summary["gate"], {"fail_above": float(limit),
                                                   "failed_or_unfinished": 2, "read": 10,
                                                   "share": 20, "above": status == 3})
                # The rows are written whatever the gate's answer.
                self.assertEqual(len(open(self.path("rows.jsonl"), "rb").readlines()), 10)
        # No trace read passes no gate.
        os.symlink("nowhere", self.path("lanes", "gone.trc"))
        done, summary = self.summary("--fail-above", "50", "lanes/gone.trc")
        self.assertEqual((done.returncode, summary["gate"]["above"]), (3, True))
        for bad in ("100.5", "-1", "1e1", "ten", ""):
            with self.subTest(bad):
                done = self.tool("--fail-above", bad, "lanes")
                self.assertEqual((done.returncode, done.stdout), (2, b""))
                self.assertIn(b"argument --fail-above: invalid", done.stderr)
        self.assertIn("status 3", re.sub(r"\s+", " ", self.tool("--help").stdout.decode()))

    def test_a_group_is_the_folder_so_many_levels_above_the_trace(self):
        self.lanes("lane-0.trc", "lane-1.trc", "lane-2.trc", "lane-3.trc", folder="chain/store-a")
        self.lanes("lane-0.trc", "lane-1.trc", folder="chain/store-b")
        row = {"traces": 6, "unreadable": 0, "completed": 5, "failed": 1, "unfinished": 0,
               "no_update": 0}
        for depth, groups in [("1", [("chain/store-a", 4, 3, 1), ("chain/store-b", 2, 2, 0)]),
                              ("2", [("chain", 6, 5, 1)]), ("3", [(".", 6, 5, 1)])]:
            with self.subTest(depth):
                _, summary = self.summary("--group-depth", depth, "chain")
                self.assertEqual(summary["groups"]["by_group"], [
                    dict(row, group=group, traces=traces, completed=completed, failed=failed)
                    for group, traces, completed, failed in groups])
        self.assertEqual(self.tool("--group-depth", "0", "chain").returncode, 2)

    def test_reuse_copies_the_rows_of_unchanged_traces_and_reads_the_others(self):
        # The fake program kills itself on kill-always- traces: one whose
        # row is copied is not read.
        kept, changed, gone, also_kept = self.lanes(
            "kill-always-0.trc", "lane-1.trc", "lane-2.trc", "kill-always-3.trc")
        self.tool("lanes", "-o", "rows.jsonl", program=ARGS["ovantrex"])
        with open(self.path(changed), "wb") as out:
            out.write(lane_trace(3, 4))  # as long, refused
        os.unlink(self.path(gone))
        (added,) = self.lanes("lane-4.trc")
        expected = self.tool("lanes", program=ARGS["ovantrex"]).stdout
        done = self.tool("lanes", "--reuse", "rows.jsonl", "-o", "rows.jsonl", "--summary-json",
                         "summary.json")
        self.assertEqual(done.returncode, 0)
        self.assertEqual(open(self.path("rows.jsonl"), "rb").read(), expected)
        self.assertEqual([json.loads(row)["trace"]["name"] for row in expected.splitlines()],
                         [kept, also_kept, changed, added])
        self.assertIn(b"\n2 rows reused from rows.jsonl (2 of its rows not: their traces "
                      b"changed, are gone, or were summarized otherwise)\n", done.stderr)
        self.assertEqual(summary_without_times(self.path("summary.json"))["traces"]["reused"], 2)
        # Every row reused, the same bytes: copied by the kernel into a file
        # beside, through the tool into a pipe and into a file on another
        # file system (where the kernel refuses to copy).
        cases = [("a file beside", "beside.jsonl"), ("a pipe", None)]
        if os.path.isdir("/dev/shm") and os.stat("/dev/shm").st_dev != os.stat(self.dir).st_dev:
            shm = tempfile.mkdtemp(dir="/dev/shm")
            self.addCleanup(shutil.rmtree, shm)
            cases.append(("another file system", os.path.join(shm, "rows.jsonl")))
        for case, where in cases:
            with self.subTest(case):
                done = self.tool("lanes", "--reuse", "rows.jsonl", *(("-o", where) if where
                                                                      else ()))
                self.assertIn(b"\n4 rows reused from rows.jsonl", done.stderr)
                self.assertEqual(open(self.path(where), "rb").read() if where else done.stdout,
                                 expected)
        # Rows of another version of the program are read again.
        self.env["FAKE_VERSION"] = "ovantrex 0.9"
        again = self.tool("lanes", "--reuse", "rows.jsonl")
        self.assertIn(b"\n0 rows reused from rows.jsonl", again.stderr)
        self.assertEqual([r["error"] for r in self.rows(again)],
                         ["ovantrex was ended by SIGKILL"] * 2 + [None, None])

    def test_compare_clusters_the_lanes_that_need_a_look_by_where_they_part(self):
        # GOOD is lane 2: completed, its start's reply without EC levels. Its
        # update's steps: 1 the start, 2 its reply, the writes at 3, 5, 7 and
        # 9 and their replies at 4, 6, 8 and 10, 11 the checksum, 12 its
        # reply, 13 the reset. Offsets: the marker takes 16 bytes, the text
        # 68, the start 44, a reply 46, a write 104 (the first write's reply
        # stands at 16 + 68 + 44 + 46 + 104 = 278).
        paths = self.lanes(*("lane-%02d.trc" % lane for lane in range(50)))
        done, summary = self.summary("--compare", paths[2], "lanes", "-o", "rows.jsonl",
                                     "--report", "fleet.html")
        self.assertEqual(done.returncode, 0)
        rows = [json.loads(line) for line in open(self.path("rows.jsonl"), "rb")]
        self.assertEqual(rows[2]["comparison"]["first_divergence"], None)
        import jsonschema  # pylint: disable=import-outside-toplevel
        with open(ARGS["schema"], encoding="utf-8") as schema:
            jsonschema.validate({k: v for k, v in rows[3].items()
                                 if k not in ("status", "error", "fleet")}, json.load(schema))
        at = rows[3]["comparison"]["first_divergence"]  # refused at 0x018000
        self.assertEqual((at["update"], at["step"], at["trace"]["words"], at["trace"]["offset"],
                          at["good"]["words"]), (1, 4, "Command complete; Operation in Error",
                                                 278, "Command complete"))
        write = "Flash write 56 bytes to address=0x0180%s0"
        error = "Command complete; Operation in Error"
        # The failed and unfinished lanes: 3, 23 and 43 refused at 0x018000,
        # 0x018080 and 0x018040; 7, 27 and 47 cut after the start, the
        # checksum and the last write; 13, 17, 33 and 37 (lane % 4 == 1)
        # part at the start's reply, which reports EC levels.
        clusters = [(c["lanes"], c["update"], c["step"], c["trace"], c["before"])
                    for c in summary["parting"]["clusters"]]
        self.assertEqual(clusters[1:], [
            (1, 1, 3, None, "Command complete"), (1, 1, 4, error, write % "0"),
            (1, 1, 6, error, write % "4"), (1, 1, 8, error, write % "8"),
            (1, 1, 10, None, write % "c"), (1, 1, 13, None, "Command complete")])
        self.assertEqual(clusters[0][:3], (4, 1, 2))
        self.assertTrue(clusters[0][3].startswith("Command complete; EC information available"))
        # Alike: the 24 lanes of lane % 4 == 2 or 3 but the six above and lane
        # 11, whose first update failed.
        self.assertEqual((summary["parting"]["alike"], summary["parting"]["traces"]), (17, 10))
        self.assertIn(b"\n       1 lane part at update 1, step 4: 'Command complete; Operation in "
                      b"Error' after 'Flash write 56 bytes to address=0x018000'\n", done.stderr)
        with open(self.path("fleet.html"), encoding="utf-8") as page:
            self.assertEqual(page.read().count('<tr><td class="n">1</td><td>part at update'), 6)
        # Rows are reused against the same GOOD alone.
        for args, reused in [(("--compare", paths[2]), 50), (("--compare", paths[0]), 0), ((), 0)]:
            again = self.tool("lanes", "--reuse", "rows.jsonl", *args, program=ARGS["ovantrex"])
            self.assertIn(b"\n%d rows reused from rows.jsonl" % reused, again.stderr)
        # A GOOD that cannot be read: one message, status 4, nothing written.
        done = self.tool("--compare", "gone.trc", "lanes", "-o", "gone.jsonl",
                         program=ARGS["ovantrex"])
        self.assertEqual((done.returncode, done.stdout, done.stderr), (4, b"", (
            b"ovantrex-fleet: cannot compare with gone.trc: No such file or directory\n")))
        self.assertFalse(os.path.exists(self.path("gone.jsonl")))

    def test_hostile_names_stay_inert_in_the_page_and_the_table(self):
        folder = "lanes/<img src=x onerror=alert(1)>\u202e"
        (hostile,) = self.lanes("\"><svg onload=alert(2)>.trc", folder=folder)
        formula = "=HYPERLINK(\"http:\")" + ".trc"
        for name in (hostile, formula):  # each refused, as lane 3 is
            with open(self.path(name), "wb") as out:
                out.write(lane_trace(3, 4))
        done = self.tool("lanes", formula, "--report", "fleet.html", "--csv", "lanes.csv",
                         "--pages", "pages", program=ARGS["ovantrex"])
        self.assertEqual(done.returncode, 0)
        page = FleetPage(self.path("fleet.html"))
        self.assertTrue(page.policy_holds)
        self.assertEqual((page.handlers, page.tags & {"img", "iframe", "object"}), ([], set()))
        shown = hostile.replace("\u202e", "\\xe2\\x80\\xae")
        self.assertEqual([row[1:3] for row in page.lanes], [[os.path.dirname(shown), shown],
                                                            [".", formula]])
        self.assertEqual(sorted(os.listdir(self.path("pages"))), [
            "_HYPERLINK_http_.trc.html", "lanes__img_src_x_onerror_alert_1___svg_onload_alert_2_"
            ".trc.html"])
        with open(self.path("lanes.csv"), encoding="utf-8-sig", newline="") as table:
            rows = list(csv.reader(table))
        self.assertEqual([row[:2] for row in rows[1:]], [[os.path.dirname(shown), shown],
                                                         [".", "'" + formula]])


def running(pid):
    """Whether the process is there and not a zombie."""
    try:
        with open("/proc/%d/stat" % pid, encoding="ascii") as status:
            return status.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def command_line(pid):
    """The process's arguments, as /proc has them; none once it has ended."""
    try:
        with open("/proc/%d/cmdline" % pid, "rb") as arguments:
            return arguments.read()
    except OSError:
        return b""


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

    def test_the_rows_the_report_and_the_outputs_are_those_of_the_local_run(self):
        address, _ = self.cluster(2)
        done = run_tool("--scheduler", address, RUN["traces"])
        self.assertEqual((done.returncode, done.stdout, done.stderr),
                         (RUN["local"].returncode, RUN["local"].stdout, RUN["local"].stderr))
        # The breakdowns, the table and the lanes' pages, written on the
        # workers, as a local run writes them.
        # Each compared with lane 2 too.
        good = ["--compare", RUN["lanes"][2]]
        done = run_tool("--scheduler", address, RUN["traces"], *outputs(RUN["dir"], "dask"), *good)
        local = run_tool("--jobs", "2", RUN["traces"], *outputs(RUN["dir"], "here"), *good)
        self.assertEqual(done.returncode, local.returncode)
        mine, theirs = (os.path.join(RUN["dir"], run) for run in ("here", "dask"))
        self.assertEqual(summary_without_times(os.path.join(theirs, "summary.json")),
                         summary_without_times(os.path.join(mine, "summary.json")))
        parting = summary_without_times(os.path.join(theirs, "summary.json"))["parting"]
        self.assertEqual(sum(c["lanes"] for c in parting["clusters"]), 60)
        for name in ("rows.jsonl", "lanes.csv"):
            with open(os.path.join(mine, name), "rb") as expected:
                self.assertEqual(open(os.path.join(theirs, name), "rb").read(), expected.read())
        pages = sorted(os.listdir(os.path.join(theirs, "pages")))
        self.assertEqual((len(pages), pages), (60, sorted(os.listdir(os.path.join(mine, "pages")))))

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
    cases = {"local": (Fleet, Outputs, Hostile, Rollout), "dask": (DaskCluster,)}[sys.argv[4]]
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
