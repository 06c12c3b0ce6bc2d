"""The breakdowns of a fleet: every figure counts traces (a lane's trace,
once), from the digest that the tool keeps of each row (tools/ovantrex-fleet,
digest()), and says how many traces could not be read.

A row's digest is a JSON object whose first member is the outcome of the
last update ("last"); lanes with the same digest in the same group count
together, so that a digest is read once however many lanes share it. The
lanes that need a look (their last update failed or is unfinished) are
handed, in the order of the rows, to each of the Fleet's listeners (the CSV,
the pages), and the first TABLE_KEPT of them are kept for the page."""

import collections
import heapq
import math
import os

from ovantrex_fleet.digest import NOT_LISTED, tail_value
from ovantrex_fleet.names import in_json

OUTCOMES = ("completed", "failed", "unfinished")
# The steps of an update in their order, as the summary words them.
STEPS = ("started", "writing", "checksum written", "device reset", "unknown")
# The kinds of firmware command, as the summary keys them.
KINDS = ("system_command", "start_flash_update", "flash_write", "checksum_write", "serial_number",
         "read_one_record", "read_all_records", "systems_management_request", "invalid_command")
# The lanes that need a look kept for the page (the CSV and the pages take
# them all as they come), the traces that could not be read kept for the
# page and the report, and the slowest lanes kept.
TABLE_KEPT = 10000
UNREAD_KEPT = 1000
SLOWEST = 10
NOT_REPORTED = "not reported"
# The clusters of lanes by where they part from GOOD that --summary-json lists.
CLUSTERS_LISTED = 1000
PERCENTILES = ("by nearest rank over the lanes' medians: of n lanes, the median is the "
               "ceil(n / 2)-th fastest and the 95th percentile the ceil(0.95 n)-th")


def group_of(name, depth):
    """The folder depth levels above the trace, as given: "." for a name in
    the working folder."""
    for _ in range(depth):
        name = os.path.dirname(name)
    return os.path.normpath(name) if name else b"."


def nearest_rank(counts, share):
    """The value at the share (0.5, 0.95) of the values counted, by nearest
    rank: counts maps each value to how many have it."""
    total = sum(counts.values())
    if total == 0:
        return None
    rank, seen = max(1, math.ceil(share * total)), 0
    for value in sorted(counts):
        seen += counts[value]
        if seen >= rank:
            return value
    return None


def parting_words(key, good, before):
    """Where a cluster of lanes parts from GOOD, in words: "part at update 1,
    step 8: 'Command complete; Operation in Error' after 'Flash write 56 bytes
    to address=0x018000'". key is (update, step, the lanes' step's words,
    in_both, other_bytes); good and before are GOOD's step there and the
    alike step before it, as the digest keeps them."""
    update, step, words, in_both, other_bytes = key
    where = "part at update %d, step %d: " % (update, step) if update else \
        "part before the first update, at step %d: " % step
    after = " after '%s'" % before if before is not None else ""
    if not in_both:
        return where + ("an update that the good trace has not: '%s'" % words if words is not None
                        else "no update %d, where the good trace has '%s'" % (update, good))
    if other_bytes:
        return where + "'%s' writes other bytes" % words
    if words is None:
        return where + "the trace ends%s, where the good trace has '%s'" % (after, good)
    return where + "'%s'%s" % (words, after)


def ranked(counts):
    """A counter's entries, the largest first, of equal ones by their key."""
    return sorted(counts.items(), key=lambda kv: (-kv[1], str(kv[0])))


class Lane:
    """A lane that needs a look: its name, group and outcome, and the facts
    of its row's member, read when they are asked for."""

    __slots__ = ("name", "group", "outcome", "tail", "value", "fleet", "page")

    def __init__(self, fleet, name, group, tail, value):
        self.fleet, self.name, self.group, self.tail, self.value = fleet, name, group, tail, value
        self.outcome = "failed" if b',"digest":{"last":"failed"' in tail else "unfinished"
        self.page = None  # (href, None), or (None, why there is no page)

    @property
    def facts(self):
        """Its verdict, first error reply, refused command and last record."""
        return (self.value or self.fleet.value(self.tail))["lane"]

    def refused(self):
        """The refused command that failed the update (its first note), and
        the address of a flash write in hex; (None, None) otherwise."""
        return tuple(self.facts.get("refused") or (None, None))

    def first_error(self):
        """The last update's first error reply: (its notes, the note of the
        command it answered, its offset), each None when there is none."""
        return tuple(self.facts.get("first_error") or (None, None, None))


# The end of the tail of a lane that needs no look.
NO_LANE = b',"lane":null}'
# The distinct rows counted before they are folded into the figures: what
# the fleet keeps of its rows stays bounded.
FOLD_AT = 1 << 16


class Fleet:
    """The figures of the rows added, in their order. The rows are counted by
    their folder and the tail of their member (a lane's facts, as text), and
    each tail is read once for all the lanes that share it (folded into the
    figures at FOLD_AT distinct ones and at the end)."""

    def __init__(self, depth):
        self.depth = depth
        self.traces = 0
        self.unread = []  # (name, error) of the first UNREAD_KEPT
        self.unread_count = 0
        self.tails = collections.Counter()  # (folder, tail) -> lanes
        self.values = {}  # tail -> its parts as values, those read or at hand
        self.groups = {}  # folder -> group
        self.slow = []  # a heap of the slowest lanes
        self.lanes = []  # the first TABLE_KEPT lanes that need a look
        self.look_count = 0
        self.listeners = []  # called with each lane that needs a look
        self.figures = Figures()

    def read(self):
        return self.traces - self.unread_count

    def group(self, folder):
        """The group of the traces of a folder (its path up to its last
        slash, or nothing)."""
        group = self.groups.get(folder)
        if group is None:
            group = self.groups[folder] = group_of(folder + b"-", self.depth)
        return group

    def add(self, name, error, tail, value=None):
        """A row: its name (bytes), its error (None when it was summarized)
        and, for a summarized trace, the tail of its member as digest_parts
        makes it (and its value, when it is at hand)."""
        self.traces += 1
        folder = name[:name.rfind(b"/") + 1]  # the folder's path, as the group's key
        if error is not None or tail is None:
            self.unread_count += 1
            row = self.figures.groups[self.group(folder)]
            row[0] += 1
            row[1] += 1
            if len(self.unread) < UNREAD_KEPT:
                self.unread.append((name, error))
            return
        self.tails[folder, tail] += 1
        if value is not None and tail not in self.values:
            self.values[tail] = value
        if not tail.startswith(b"null"):
            # The slowest exchange's time leads the tail: the rest of it is
            # read only for a lane that is among the slowest.
            order = (float(tail[1:tail.index(b",")]), -self.traces)
            if len(self.slow) < SLOWEST or order > self.slow[0][:2]:
                _, kind, offset = (value or self.value(tail))["slowest"]
                entry = order + (name, self.group(folder), kind, offset)
                if len(self.slow) < SLOWEST:
                    heapq.heappush(self.slow, entry)
                else:
                    heapq.heapreplace(self.slow, entry)
        if not tail.endswith(NO_LANE):
            lane = Lane(self, name, self.group(folder), tail, value)
            self.look_count += 1
            if len(self.lanes) < TABLE_KEPT:
                self.lanes.append(lane)
            for listener in self.listeners:
                listener(lane)
        if len(self.tails) >= FOLD_AT:
            self.fold()

    def add_rows(self, names, tails):
        """Rows of summarized traces, as add() takes them: their names and
        tails. A row that is no lane to look at, and no faster than the
        slowest lanes kept, is counted here at once."""
        counts, slow, add = self.tails, self.slow, self.add
        for name, tail in zip(names, tails):
            if tail.endswith(NO_LANE) and len(slow) >= SLOWEST and len(counts) < FOLD_AT - 1 and \
                    (tail[:4] == b"null" or float(tail[1:tail.index(b",")]) <= slow[0][0]):
                self.traces += 1
                counts[name[:name.rfind(b"/") + 1], tail] += 1
            else:
                add(name, None, tail)

    def value(self, tail):
        """The parts of a member's tail, as values."""
        value = self.values.get(tail)
        if value is None:
            if len(self.values) >= FOLD_AT:
                self.values.clear()
            value = self.values[tail] = tail_value(tail)
        return value

    def fold(self):
        """Adds the rows counted to the figures."""
        f = self.figures
        for (folder, tail), lanes in self.tails.items():
            value = self.value(tail)
            f.add(self.group(folder), value["digest"], lanes)
            last, by_kind = value["times"]
            if last is not None:
                f.times["last_update"][last] += lanes
            for kind, median in by_kind.items():
                f.times[kind][median] += lanes
        self.tails.clear()

    def finish(self):
        """The figures of every row added."""
        self.fold()
        return self.figures

    def slowest(self):
        """The slowest lanes, the slowest first (of equal ones the first
        read): (response_ms, name, group, kind, command offset)."""
        return [(ms, name, group, kind, at) for ms, _, name, group, kind, at in
                sorted(self.slow, reverse=True)]

    def gate(self, percent):
        """(lanes whose last update failed or is unfinished, traces read,
        whether their share is above percent, a Fraction). With no trace
        read the share is taken as above: nothing shows the rollout sound."""
        f, read = self.figures, self.read()
        bad = f.by_outcome["failed"] + f.by_outcome["unfinished"]
        return bad, read, read == 0 or bad * 100 > percent * read


class Figures:
    """The counts of a fleet, each of lanes."""

    def __init__(self):
        self.by_outcome = collections.Counter({key: 0 for key in OUTCOMES + ("none",)})
        self.updates = collections.Counter({key: 0 for key in OUTCOMES})
        self.by_step = collections.Counter()
        self.failed_by_reply = collections.Counter()
        self.failed_by_command = collections.Counter()
        self.unfinished_by_reason = collections.Counter()
        self.unfinished_by_unanswered = collections.Counter()
        self.ec_before = collections.Counter()
        self.ec_after = collections.Counter()
        self.replies = collections.Counter()  # lanes with each error reply, any update
        self.addresses = collections.Counter()  # lanes with each failing address
        self.capped = 0  # lanes whose summary lists only its first error replies
        # group -> [traces, unreadable, completed, failed, unfinished, no update]
        self.groups = collections.defaultdict(lambda: [0, 0, 0, 0, 0, 0])
        self.times = collections.defaultdict(collections.Counter)  # kind -> median -> lanes
        # With --compare: the failed and unfinished last updates by where
        # they part from GOOD, (update, step, words, in_both, other_bytes) ->
        # lanes, and the words of GOOD's step there and of the step before.
        self.parting = collections.Counter()
        self.parting_steps = {}
        self.alike_needing_a_look = 0  # failed or unfinished, yet alike with GOOD
        self.alike = 0  # every lane alike with GOOD

    def add(self, group, digest, lanes):
        last = digest["last"]
        self.by_outcome[last or "none"] += lanes
        row = self.groups[group]
        row[0] += lanes
        row[2 + (OUTCOMES.index(last) if last else 3)] += lanes
        for outcome, count in zip(OUTCOMES, digest["outcomes"]):
            self.updates[outcome] += count * lanes
        if last is not None:
            self.by_step[digest["step"]] += lanes
        if last == "failed":
            failed = digest["failed"]
            self.failed_by_reply[failed["reply"] or NOT_LISTED] += lanes
            self.failed_by_command[failed["command"] or NOT_LISTED] += lanes
        elif last == "unfinished":
            unfinished = digest["unfinished"]
            self.unfinished_by_reason[unfinished["reason"]] += lanes
            if unfinished["unanswered"] is not None:
                self.unfinished_by_unanswered[unfinished["unanswered"]] += lanes
        before, after = digest["ec"] or (None, None)
        self.ec_before[before or NOT_REPORTED] += lanes
        self.ec_after[after or NOT_REPORTED] += lanes
        for reply in digest["replies"]:
            self.replies[reply] += lanes
        for address in digest["addresses"]:
            self.addresses[address] += lanes
        self.capped += lanes if digest["capped"] else 0
        parts = digest.get("parts")
        if parts is not None:
            self.part(last, parts, lanes)

    def part(self, last, parts, lanes):
        """Where lanes part from GOOD: parts as the digest keeps it."""
        if not parts:
            self.alike += lanes
        if last not in ("failed", "unfinished"):
            return
        if not parts:
            self.alike_needing_a_look += lanes
            return
        update, step, words, good, before, in_both, other_bytes = parts
        key = (update, step, words, in_both, other_bytes)
        self.parting[key] += lanes
        self.parting_steps[key] = (good, before)

    def clusters(self):
        """The clusters of failed and unfinished lanes by where they part
        from GOOD, the largest first (of equal ones, the earlier step first):
        (lanes, key, GOOD's step's words, the words of the step before)."""
        return sorted(((lanes, key) + self.parting_steps[key]
                       for key, lanes in self.parting.items()),
                      key=lambda c: (-c[0], c[1][0], c[1][1], str(c[1][2:])))

    def response_times(self):
        """{figure: (lanes, median, 95th percentile)} of the lanes' medians:
        the last update's commands, then each kind of command."""
        return {kind: (sum(self.times[kind].values()), nearest_rank(self.times[kind], 0.5),
                       nearest_rank(self.times[kind], 0.95))
                for kind in ("last_update",) + KINDS if self.times.get(kind)}

    def worst_groups(self):
        """The groups, those with the largest share of failed or unfinished
        last updates first (then the most traces, then by name)."""
        def share(item):
            row = item[1]
            read = row[0] - row[1]
            return (-(row[3] + row[4]) / read if read else 0.0, -row[0], item[0])
        return sorted(self.groups.items(), key=share)


def summary_object(fleet, run):
    """The breakdowns as one JSON value (--summary-json): run holds the
    run's own facts (program, times, reuse, gate)."""
    f, read, unread = fleet.figures, fleet.read(), fleet.unread_count

    def counted(traces, **counts):
        """A figure: the traces it counts, those not read, and its counts,
        the largest first (the outcomes in their order)."""
        figure = {"traces": traces, "unreadable": unread}
        figure.update({key: dict(value) if key == "by_outcome" else dict(ranked(value))
                       for key, value in counts.items()})
        return figure

    failed, unfinished = f.by_outcome["failed"], f.by_outcome["unfinished"]
    times = {kind: {"lanes": lanes, "median_ms": median, "p95_ms": p95}
             for kind, (lanes, median, p95) in f.response_times().items()}
    return {
        "tool": "ovantrex-fleet", "program": run["program"], "run": run["run"],
        "traces": {"total": fleet.traces, "read": read, "unreadable": unread,
                   "same_file_names": run["same"], "reused": run["reused"]},
        "updates": dict(f.updates),
        "last_updates": counted(read, by_outcome=f.by_outcome, by_step=f.by_step),
        "failed": counted(failed, by_error_reply=f.failed_by_reply,
                          by_refused_command=f.failed_by_command),
        "unfinished": counted(unfinished, by_reason=f.unfinished_by_reason,
                              by_unanswered_command=f.unfinished_by_unanswered),
        "ec_levels": counted(read, before=f.ec_before, after=f.ec_after),
        "response_times": {
            "traces": read, "unreadable": unread, "percentiles": PERCENTILES,
            "last_update": times.pop("last_update", None), "by_kind": times,
            "slowest_lanes": [{"trace": in_json(name), "group": in_json(group),
                               "response_ms": ms, "kind": kind, "command": at}
                              for ms, name, group, kind, at in fleet.slowest()]},
        "groups": {"depth": fleet.depth, "traces": fleet.traces, "unreadable": unread,
                   "by_group": [dict(zip(("group", "traces", "unreadable", "completed", "failed",
                                          "unfinished", "no_update"), [in_json(group)] + row))
                                for group, row in f.worst_groups()]},
        "error_replies": dict(counted(read, by_error_reply=f.replies), lanes_capped=f.capped),
        "failing_addresses": counted(read, by_address={
            "0x%06x" % address: lanes for address, lanes in f.addresses.items()}),
        "gate": run["gate"],
        "parting": parting_object(fleet, run),
        "lanes_to_look_at": fleet.look_count,
        "unreadable_traces": [{"trace": in_json(name), "error": in_json(error)}
                              for name, error in fleet.unread],
    }


def parting_object(fleet, run):
    """The clusters of --compare in the object of --summary-json; None
    without --compare."""
    f = fleet.figures
    if run.get("good") is None:
        return None
    clusters = f.clusters()
    return {"good": in_json(run["good"]), "alike": f.alike,
            "traces": f.by_outcome["failed"] + f.by_outcome["unfinished"],
            "unreadable": fleet.unread_count, "alike_failed_or_unfinished": f.alike_needing_a_look,
            "clusters": [{"lanes": lanes, "update": key[0], "step": key[1], "trace": key[2],
                          "good": good, "before": before, "in_both": key[3],
                          "other_bytes": key[4], "words": parting_words(key, good, before)}
                         for lanes, key, good, before in clusters[:CLUSTERS_LISTED]],
            "clusters_left_out": max(0, len(clusters) - CLUSTERS_LISTED)}
