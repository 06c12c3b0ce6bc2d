"""The fleet's files besides the rows: each written beside its name and
renamed at the end (OutputFile); the lanes that need a look as CSV for a
spreadsheet; the counts in the Prometheus text format for node_exporter's
textfile collector; and the safe, distinct names of the lanes' pages."""

import csv
import errno
import io
import os
import re
import tempfile

from ovantrex_fleet.breakdowns import OUTCOMES
from ovantrex_fleet.names import shown


# The errors by which the kernel refuses to copy between two files (another
# file system, no such call): the bytes then go through this process.
COPY_REFUSALS = {errno.EXDEV, errno.EINVAL, errno.ENOSYS, errno.EOPNOTSUPP, errno.EBADF}


class OutputFile:
    """A file of the run's: a regular file (or a new one) is written as
    .NAME.XXXXXXXX.part in its folder and takes its name at finish(), with
    the mode of the older file (new: 0666 less the umask), so that a run
    that fails leaves an older file as it was; a device or a FIFO is written
    as it is. Raises OSError."""

    def __init__(self, path, status):
        self.path, self.temporary = path, None
        self.copies = False  # whether copy_range() asks the kernel
        if status is not None and not os.path.isfile(path):
            self.out = open(path, "wb")  # pylint: disable=consider-using-with
            return
        self.target = os.path.realpath(path)
        folder, base = os.path.split(self.target)
        descriptor, self.temporary = tempfile.mkstemp(prefix="." + base + ".", suffix=".part",
                                                      dir=folder)
        mask = os.umask(0)
        os.umask(mask)
        os.fchmod(descriptor, status.st_mode & 0o7777 if status else 0o666 & ~mask)
        self.out = os.fdopen(descriptor, "wb")
        self.copies = hasattr(os, "copy_file_range")

    def copy_range(self, descriptor, start, end):
        """Copies the bytes start to end of the file open as descriptor to
        the end of a regular file in the kernel, sparing the copy through
        this process; how many it copied: fewer (none, where the kernel
        cannot copy between the two files or this is not a regular file)
        leave the rest for the caller to write. Raises OSError."""
        if not self.copies or start >= end:
            return 0
        self.out.flush()
        at = start
        try:
            while at < end:
                moved = os.copy_file_range(descriptor, self.out.fileno(), end - at, at)
                if moved <= 0:
                    break  # the end of the file: the rest is the caller's
                at += moved
        except OSError as error:
            if error.errno not in COPY_REFUSALS:
                raise
            self.copies = False
        # The copy moved the file's offset, not the buffer's idea of it.
        self.out.seek(0, os.SEEK_END)
        return at - start

    def write(self, data):
        self.out.write(data)

    def write_back(self, start, end):
        """Hands the bytes start to end, written, to the disk now (a regular
        file's), so that finish() need not wait for them all."""
        if self.temporary is None:
            return
        self.out.flush()
        try:
            os.posix_fadvise(self.out.fileno(), start, end - start, os.POSIX_FADV_DONTNEED)
        except (OSError, AttributeError):
            pass  # the disk takes them at finish()

    def finish(self):
        """Puts the file in place."""
        self.out.flush()
        if self.temporary is None:
            self.out.close()
            return
        os.fsync(self.out.fileno())
        self.out.close()
        os.replace(self.temporary, self.target)
        self.temporary = None

    def abandon(self):
        """Leaves the older file as it was."""
        if self.temporary is None:
            return
        try:
            self.out.close()
        except OSError:
            pass
        os.unlink(self.temporary)
        self.temporary = None


# ---- The lanes that need a look, as CSV ----

CSV_COLUMNS = ("group", "trace", "outcome", "verdict", "refused command", "address",
               "first error offset", "last record (UTC)")
# What a spreadsheet takes as the start of a formula.
FORMULA_STARTS = ("=", "+", "-", "@", "\t", "\r")


def cell(value):
    """A value as a cell that a spreadsheet shows as it is: names and
    messages escaped as on a terminal, and a text that a spreadsheet would
    run as a formula after an apostrophe."""
    if value is None:
        return ""
    text = str(value) if isinstance(value, int) else shown(value)
    return "'" + text if text.startswith(FORMULA_STARTS) else text


class LanesCsv:
    """The lanes that need a look, a row each as they come: UTF-8 with a
    byte order mark and CR LF line ends, as spreadsheets open it; every cell
    that needs it quoted."""

    def __init__(self, output):
        self.output, self.buffer = output, io.StringIO()
        self.writer = csv.writer(self.buffer, lineterminator="\r\n")
        self.output.write("\ufeff".encode("utf-8"))
        self.row(CSV_COLUMNS)

    def row(self, cells):
        self.writer.writerow(cells)
        self.output.write(self.buffer.getvalue().encode("utf-8"))
        self.buffer.seek(0)
        self.buffer.truncate()

    def __call__(self, lane):
        note, address = lane.refused()
        self.row([cell(lane.group), cell(lane.name), lane.outcome, cell(lane.facts["verdict"]),
                  cell(note), cell(address), cell(lane.first_error()[2]),
                  cell(lane.facts.get("last_record"))])


# ---- Metrics for node_exporter's textfile collector ----


def label(value):
    """A label's value in the text format: a backslash, a double quote and
    a line end escaped, in UTF-8."""
    return '"%s"' % shown(value).replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")


def metrics_text(fleet, run, by_group):
    """The counts of the run in the Prometheus text format."""
    f, lines = fleet.figures, []

    def metric(name, helps, samples):
        lines.append("# HELP ovantrex_fleet_%s %s" % (name, helps))
        lines.append("# TYPE ovantrex_fleet_%s gauge" % name)
        for labels, value in samples:
            pairs = ",".join("%s=%s" % (key, label(text)) for key, text in labels)
            lines.append("ovantrex_fleet_%s%s %s" % (name, "{%s}" % pairs if pairs else "",
                                                     repr(value)))

    metric("traces", "Traces of the last fleet run, read and unreadable.",
           [((("state", "read"),), fleet.read()), ((("state", "unreadable"),),
                                                  fleet.unread_count)])
    metric("last_updates", "Traces read, by the outcome of their last update (none: no update).",
           [((("outcome", key),), f.by_outcome[key]) for key in OUTCOMES + ("none",)])
    if run["reused"] is not None:
        metric("reused_rows", "Rows of an earlier run taken for traces that had not changed.",
               [((), run["reused"])])
    if run["gate"] is not None:
        metric("gate_above", "1 when the share of failed or unfinished last updates was above "
               "--fail-above, else 0.", [((), int(run["gate"]["above"]))])
    if by_group:
        groups = sorted(f.groups.items())
        metric("group_traces", "Traces of each group, read and unreadable.",
               [((("group", group), ("state", state)), value) for group, row in groups
                for state, value in (("read", row[0] - row[1]), ("unreadable", row[1]))])
        metric("group_last_updates", "Traces read of each group, by the outcome of their last "
               "update.", [((("group", group), ("outcome", key)), row[2 + i]) for group, row in
                           groups for i, key in enumerate(OUTCOMES + ("none",))])
    metric("run_timestamp_seconds", "When the last fleet run ended, in seconds since the epoch.",
           [((), round(run["ended_at"], 3))])
    metric("run_duration_seconds", "How long the last fleet run took.",
           [((), round(run["seconds"], 3))])
    return ("\n".join(lines) + "\n").encode("utf-8")


# ---- The pages of the lanes ----

UNSAFE = re.compile(r"[^A-Za-z0-9._-]+")


class PageNames:
    """A file name in the pages' folder for each lane's page: the last three
    parts of its trace's name, every run of characters other than letters,
    digits, '.', '_' and '-' as '_', at most 100 characters, '.html'; a name
    taken already (in any letter case) or that is a file the run reads gets
    -2, -3, ... before '.html'."""

    def __init__(self, folder, reads):
        self.folder, self.reads, self.taken = folder, reads, set()

    def name(self, trace):
        """The file name for the page of a trace (its name's bytes)."""
        parts = [part for part in trace.decode("latin-1").split("/") if part not in ("", ".")]
        stem = UNSAFE.sub("_", "_".join(parts[-3:]))[:100].lstrip(".") or "trace"
        for number in range(1, 1 << 30):
            base = stem + ("" if number == 1 else "-%d" % number) + ".html"
            if base.lower() in self.taken or self.is_read(base):
                continue
            self.taken.add(base.lower())
            return base
        raise OverflowError(trace)

    def is_read(self, base):
        try:
            status = os.stat(os.path.join(self.folder, base))
        except OSError:
            return False
        return (status.st_dev, status.st_ino) in self.reads
