"""The fleet report on standard error: what was read, how the updates
ended, the gate's answer, then the breakdowns, each of lanes, each with the
traces it counts and those that could not be read."""

from ovantrex_fleet.breakdowns import NOT_LISTED, parting_words, ranked
from ovantrex_fleet.names import as_bytes, escaped

# The traces with an error that the report names; the rows name them all.
NAMED_FAILURES = 20


def milliseconds(value):
    """A response time: "40 ms", "2.5 ms"."""
    return ("%.3f" % value).rstrip("0").rstrip(".") + " ms"


def percent(value):
    """A share in percent, to two decimals at most: "20%", "12.5%"."""
    return ("%.2f" % value).rstrip("0").rstrip(".") + "%"


def plural(count, one, many):
    return "%d %s" % (count, one if count == 1 else many)


def words_of(kind):
    """A kind of command as the summary keys it, in words: "flash write"."""
    return kind.replace("_", " ")


def gate_words(bad, read, above, limit):
    """The gate's answer in words."""
    if read == 0:
        return "the gate: no trace read, which passes no gate (status 3)"
    return "the gate: %d of the %s (%s) failed or are unfinished: %s %s%s" % (
        bad, plural(read, "trace read", "traces read"), percent(100 * bad / read),
        "above" if above else "not above", percent(limit),
        ", status 3" if above else ", passed")


class TextReport:
    """The report of a fleet, written once its figures are done."""

    def __init__(self, fleet, same, top, good=None):
        self.fleet, self.same, self.top = fleet, same, top
        self.good = good  # the name of GOOD, with --compare
        self.notes = []  # lines after the first: reuse, endings
        self.gate = None  # its line, with --fail-above
        self.tail = []  # lines at the end: the pages

    def write(self, out, terminal):
        shown = escaped if terminal else (lambda data: data)

        def line(*parts):
            out.write(b"".join(shown(as_bytes(part)) if i % 2 else as_bytes(part)
                               for i, part in enumerate(parts)) + b"\n")

        fleet, f = self.fleet, self.fleet.figures
        line("ovantrex-fleet: %s read, %d could not be read" % (
            plural(fleet.traces, "trace", "traces"), fleet.unread_count))
        if self.same:
            line("%d %s the same file as a name before, and read once" % (
                self.same, "name was" if self.same == 1 else "names were"))
        for note in self.notes:
            line(note)
        u, o = f.updates, f.by_outcome
        line("updates: %d completed, %d failed, %d unfinished" % (
            u["completed"], u["failed"], u["unfinished"]))
        line("traces by their last update: %d completed, %d failed, %d unfinished; %d with no "
             "update" % (o["completed"], o["failed"], o["unfinished"], o["none"]))
        if self.gate is not None:
            line(self.gate)
        self.breakdowns(line)
        if fleet.unread:
            line("traces that could not be read:")
            for name, error in fleet.unread[:NAMED_FAILURES]:
                line("  ", name, ": ", error)
            if fleet.unread_count > NAMED_FAILURES:
                line("  and %d more (their rows say why)" % (fleet.unread_count - NAMED_FAILURES))
        for note in self.tail:
            line(note)
        out.flush()

    def counts(self, line, title, traces, counts, key=str):
        """A breakdown: its title with the traces it counts, then the
        largest entries."""
        if not counts:
            return
        line("%s (%s; %d could not be read):" % (
            title, plural(traces, "trace", "traces"), self.fleet.unread_count))
        for words, count in ranked(counts)[:self.top]:
            line("  %6d  " % count, key(words))
        if len(counts) > self.top:
            line("  and %d more" % (len(counts) - self.top))

    def breakdowns(self, line):
        f, read = self.fleet.figures, self.fleet.read()
        failed, unfinished = f.by_outcome["failed"], f.by_outcome["unfinished"]
        self.counts(line, "last updates by the last step reached", read, f.by_step)
        self.counts(line, "failed last updates by error reply", failed, f.failed_by_reply)
        self.counts(line, "failed last updates by the command refused", failed,
                    f.failed_by_command)
        self.counts(line, "unfinished last updates by reason", unfinished, f.unfinished_by_reason)
        self.counts(line, "unfinished last updates by their unanswered last command", unfinished,
                    f.unfinished_by_unanswered,
                    key=lambda kind: kind if kind == NOT_LISTED else words_of(kind))
        self.parting(line, f, failed + unfinished)
        self.counts(line, "devices by EC level before the update", read, f.ec_before)
        self.counts(line, "devices by EC level after the update", read, f.ec_after)
        self.times(line, f, read)
        self.groups(line, f)
        capped = "; of the first 1000 error replies of each trace, %d traces had more" % f.capped
        self.counts(line, "lanes by error reply, any update" + (capped if f.capped else ""),
                    read, f.replies)
        self.counts(line, "lanes by failing address, the flash write before an error reply" + (
            capped if f.capped else ""), read, f.addresses, key=lambda a: "0x%06x" % a)

    def parting(self, line, f, traces):
        """With --compare: the failed and unfinished lanes by where they part
        from GOOD, the largest clusters first."""
        if self.good is None or not traces:
            return
        line("failed and unfinished last updates by where they part from the good trace ",
             self.good, " (%s; %d could not be read):" % (plural(traces, "trace", "traces"),
                                                         self.fleet.unread_count))
        clusters = f.clusters()
        for lanes, key, good, before in clusters[:self.top]:
            line("  %6d %s " % (lanes, "lane" if lanes == 1 else "lanes"),
                 parting_words(key, good, before))
        if len(clusters) > self.top:
            line("  and %d more" % (len(clusters) - self.top))
        if f.alike_needing_a_look:
            line("  %6d %s alike with the good trace" % (
                f.alike_needing_a_look, "lane" if f.alike_needing_a_look == 1 else "lanes"))

    def times(self, line, f, read):
        figures = f.response_times()
        if not figures:
            return
        line("response times, the lanes' medians (%s; %d could not be read):" % (
            plural(read, "trace", "traces"), self.fleet.unread_count))
        for kind, (lanes, median, p95) in figures.items():
            line("  %s: %s, median %s, 95th percentile %s" % (
                words_of(kind), plural(lanes, "lane", "lanes"), milliseconds(median),
                milliseconds(p95)))
        slowest = self.fleet.slowest()[:self.top]
        if slowest:
            line("slowest lanes (by their slowest exchange):")
        for ms, name, _, kind, at in slowest:
            line("  %10s  " % milliseconds(ms), name, ": %s at offset %d" % (words_of(kind), at))

    def groups(self, line, f):
        worst = [item for item in f.worst_groups() if item[1][3] + item[1][4]][:self.top]
        if not worst:
            return
        line("groups with the largest share of failed or unfinished last updates (%s, "
             "depth %d):" % (plural(len(f.groups), "group", "groups"), self.fleet.depth))
        line("  traces  unread  completed  failed  unfinished  no update  group")
        for group, row in worst:
            line("  %6d  %6d  %9d  %6d  %10d  %9d  " % tuple(row), group)
