"""The fleet page (--report): one HTML file that needs no network, in the
style of ovantrex's trace page and under its rules. Its style sheet is the
trace page's (report.css) and a few rules of its own, its script the trace
page's (report.js, which filters the table of id error-table by the words of
the box of id error-filter); a content security policy denies everything
else, naming the two by their SHA-256 digests. Every name and message is
escaped as ovantrex escapes it on a terminal, then as HTML. The breakdowns
are SVG bar charts whose bars carry their figures in a title."""

import base64
import functools
import hashlib
import html
import os
import time
import urllib.parse

from ovantrex_fleet.breakdowns import NOT_LISTED, OUTCOMES, parting_words, ranked
from ovantrex_fleet.names import shown
from ovantrex_fleet.text_report import gate_words, milliseconds, percent, plural, words_of

# The fleet page's own rules, after the trace page's.
FLEET_STYLE = """svg.bars{display:block;max-width:100%;height:auto}
.ok{fill:#2d7a3a}
.nd{fill:#9a9a9a}
.ur{fill:#5b5b5b}
.glance li.good{border-left-color:#2d7a3a}
"""
# The bar charts: the labels' column, the longest bar, a row's height, and
# the characters of a label drawn (its title holds it whole).
LABEL_WIDTH, BAR_WIDTH, ROW, LABEL_CHARACTERS = 300, 300, 22, 46
GROUPS_DRAWN = 30
CLUSTERS_DRAWN = 30
OUTCOME_CLASS = {"completed": "ok", "failed": "er", "unfinished": "un", "none": "nd"}


@functools.lru_cache(maxsize=1 << 14)
def h(text):
    """A name or a message as HTML text (the lanes' verdicts and groups
    repeat: each is escaped once)."""
    return html.escape(shown(text), quote=True)


def digest(text):
    return base64.b64encode(hashlib.sha256(text.encode("utf-8")).digest()).decode("ascii")


def label_text(words):
    words = shown(words)
    cut = words if len(words) <= LABEL_CHARACTERS else words[:LABEL_CHARACTERS - 1] + "\u2026"
    return html.escape(cut, quote=True)


def number(value):
    return ("%.1f" % value).rstrip("0").rstrip(".")


def bar_chart(title, entries):
    """A horizontal bar chart: entries are (label, count, class), a bar each,
    its width the count's share of the largest; each bar's title holds its
    label and its count."""
    most = max([count for _, count, _ in entries] + [1])
    height = ROW * len(entries) + 8
    out = ['<svg class="bars" viewBox="0 0 %d %d" width="%d" height="%d" role="img" '
           'aria-label="%s">' % (LABEL_WIDTH + BAR_WIDTH + 80, height,
                                 LABEL_WIDTH + BAR_WIDTH + 80, height, h(title))]
    for i, (words, count, css) in enumerate(entries):
        y, width = 4 + i * ROW, BAR_WIDTH * count / most
        out.append('<g class="bar"><title>%s: %d</title><text x="%d" y="%d" text-anchor="end">'
                   '%s</text><rect class="%s" x="%d" y="%d" width="%s" height="%d"></rect>'
                   '<text x="%s" y="%d">%d</text></g>' % (
                       h(words), count, LABEL_WIDTH - 8, y + 15, label_text(words), css,
                       LABEL_WIDTH, y + 2, number(width), ROW - 6,
                       number(LABEL_WIDTH + width + 6), y + 15, count))
    out.append("</svg>")
    return "".join(out)


class FleetPage:
    """The page of a fleet whose figures are done. run holds the run's own
    facts: program, started (seconds since the epoch), seconds, reused,
    gate, same; assets the trace page's style sheet and script."""

    def __init__(self, fleet, run, assets, top):
        self.fleet, self.run, self.top = fleet, run, top
        self.style = "\n" + assets["style"] + FLEET_STYLE
        self.script = "\n" + assets["script"]
        self.out = []

    def text(self):
        self.head()
        self.put("<main>\n")
        self.verdict()
        self.breakdowns()
        self.parting()
        self.times()
        self.groups()
        self.lanes()
        self.unread()
        self.put("</main>\n<footer>Written by ovantrex-fleet (--report) with %s. The page needs "
                 "no network: its pictures, style and script are all inside it.</footer>\n"
                 "<script>%s</script>\n</body>\n</html>\n" % (h(self.run["program"]), self.script))
        return "".join(self.out).encode("utf-8")

    def put(self, *parts):
        self.out.extend(parts)

    def head(self):
        fleet, run = self.fleet, self.run
        started = time.strftime("%Y-%m-%d %H:%M:%S UTC", time.gmtime(run["started"]))
        self.put('<!DOCTYPE html>\n<html lang="en">\n<head>\n<meta charset="utf-8">\n'
                 '<meta http-equiv="Content-Security-Policy" content="default-src \'none\'; '
                 "style-src 'sha256-%s'; script-src 'sha256-%s'\">\n"
                 '<meta name="viewport" content="width=device-width, initial-scale=1">\n'
                 '<meta name="generator" content="ovantrex-fleet">\n'
                 "<title>Fleet report: %s</title>\n<style>%s</style>\n</head>\n<body>\n" % (
                     digest(self.style), digest(self.script),
                     plural(fleet.traces, "trace", "traces"), self.style))
        self.put('<header>\n<h1>Fleet report</h1>\n<p class="meta">%s summarized by %s, the run '
                 "started %s and took %s s.</p>\n" % (
                     plural(fleet.traces, "trace", "traces"), h(run["program"]), started,
                     number(run["seconds"])),
                 '<nav><a href="#verdict">Verdict</a><a href="#breakdowns">Breakdowns</a>'
                 '%s<a href="#times">Response times</a><a href="#groups">Groups</a>'
                 '<a href="#lanes">Lanes that need a look</a><a href="#unread">Traces not '
                 "read</a></nav>\n</header>\n" % (
                     '<a href="#parting">Where they part</a>' if run.get("good") else ""))

    def verdict(self):
        fleet, f, run = self.fleet, self.fleet.figures, self.run
        o, u = f.by_outcome, f.updates
        bad = o["failed"] + o["unfinished"]
        items = [("bad" if fleet.unread_count else "good",
                  "%s read of %d; %d could not be read" % (
                      plural(fleet.read(), "trace", "traces"), fleet.traces,
                      fleet.unread_count)),
                 ("bad" if bad else "good",
                  "Last updates: %d completed, %d failed, %d unfinished; %d traces with no "
                  "update" % (o["completed"], o["failed"], o["unfinished"], o["none"])),
                 ("warn" if u["failed"] + u["unfinished"] else "good",
                  "All updates: %d completed, %d failed, %d unfinished" % (
                      u["completed"], u["failed"], u["unfinished"]))]
        if run["gate"] is not None:
            gate = run["gate"]
            items.append(("bad" if gate["above"] else "good", gate_words(
                gate["failed_or_unfinished"], gate["read"], gate["above"], gate["fail_above"])))
        if run["reused"] is not None:
            items.append(("good", "%s of an earlier run reused" % plural(
                run["reused"], "row", "rows")))
        if run["same"]:
            items.append(("warn", "%d %s the same file as a name before, and read once" % (
                run["same"], "name was" if run["same"] == 1 else "names were")))
        self.put('<section id="verdict">\n<h2>Verdict</h2>\n<ul class="glance">\n')
        for css, words in items:
            self.put('<li class="%s verdict">%s</li>\n' % (css, html.escape(words)))
        self.put("</ul>\n</section>\n")

    def figure(self, title, traces, counts, css=lambda key: "w", key=str):
        if not counts:
            return
        entries = [(key(words), count, css(words)) for words, count in ranked(counts)]
        self.put("<div>\n<h3>%s</h3>\n<p class=\"note\">%s; %d could not be read.</p>\n"
                 "<figure>%s</figure>\n</div>\n" % (
                     html.escape(title), plural(traces, "trace", "traces"),
                     self.fleet.unread_count, bar_chart(title, entries)))

    def breakdowns(self):
        f, read = self.fleet.figures, self.fleet.read()
        failed, unfinished = f.by_outcome["failed"], f.by_outcome["unfinished"]
        self.put('<section id="breakdowns">\n<h2>Breakdowns</h2>\n<p class="note">Each figure '
                 "counts lanes (a trace each), and says how many traces could not be read."
                 "</p>\n<div class=\"grid\">\n")
        self.figure("Last updates by outcome", read,
                    {key: f.by_outcome[key] for key in OUTCOMES + ("none",) if f.by_outcome[key]},
                    css=OUTCOME_CLASS.get, key=lambda k: "no update" if k == "none" else k)
        self.figure("Last updates by the last step reached", read, f.by_step)
        self.figure("Failed last updates by error reply", failed, f.failed_by_reply,
                    css=lambda key: "er")
        self.figure("Failed last updates by the command refused", failed, f.failed_by_command,
                    css=lambda key: "er")
        self.figure("Unfinished last updates by reason", unfinished, f.unfinished_by_reason,
                    css=lambda key: "un")
        self.figure("Unfinished last updates by their unanswered last command", unfinished,
                    f.unfinished_by_unanswered, css=lambda key: "un",
                    key=lambda kind: kind if kind == NOT_LISTED else words_of(kind))
        self.figure("Devices by EC level before the update", read, f.ec_before)
        self.figure("Devices by EC level after the update", read, f.ec_after)
        self.figure("Lanes by error reply, any update", read, f.replies)
        self.figure("Lanes by failing address, the flash write before an error reply", read,
                    f.addresses, key=lambda address: "0x%06x" % address)
        self.put("</div>\n</section>\n")

    def parting(self):
        """With --compare: the failed and unfinished lanes by where they part
        from GOOD, the largest clusters first."""
        if self.run.get("good") is None:
            return
        f, fleet = self.fleet.figures, self.fleet
        clusters = f.clusters()
        self.put('<section id="parting">\n<h2>Where the lanes part from the good trace</h2>\n'
                 '<p class="note">The failed and unfinished last updates (%s; %d could not be '
                 "read) by where their traces part from <code>%s</code>, step by step: %s%s; "
                 "%d of them alike with it.</p>\n" % (
                     plural(f.by_outcome["failed"] + f.by_outcome["unfinished"], "trace",
                            "traces"), fleet.unread_count, h(self.run["good"]),
                     plural(len(clusters), "cluster", "clusters"),
                     ", the %d largest drawn" % CLUSTERS_DRAWN if len(clusters) > CLUSTERS_DRAWN
                     else "", f.alike_needing_a_look))
        if not clusters:
            self.put("</section>\n")
            return
        drawn = clusters[:CLUSTERS_DRAWN]
        self.put("<figure>%s</figure>\n" % bar_chart("Where the lanes part", [
            ("update %d, step %d: %s" % (key[0], key[1], key[2] if key[2] is not None else
                                         "ends"), lanes, "er")
            for lanes, key, _, _ in drawn]))
        self.put('<table class="parting">\n<thead><tr><th class="n">lanes</th><th>where they '
                 "part</th></tr></thead>\n<tbody>\n")
        for lanes, key, good, before in drawn:
            self.put('<tr><td class="n">%d</td><td>%s</td></tr>\n' % (
                lanes, h(parting_words(key, good, before))))
        self.put("</tbody>\n</table>\n</section>\n")

    def times(self):
        f, fleet = self.fleet.figures, self.fleet
        self.put('<section id="times">\n<h2>Response times</h2>\n<p class="note">Of the lanes\' '
                 "median response times (%s; %d could not be read): the median lane and the "
                 "95th-percentile lane, by nearest rank.</p>\n" % (
                     plural(fleet.read(), "trace", "traces"), fleet.unread_count))
        figures = f.response_times()
        if figures:
            self.put('<table class="times">\n<thead><tr><th>commands</th><th class="n">lanes</th>'
                     '<th class="n">median</th><th class="n">95th percentile</th></tr></thead>\n'
                     "<tbody>\n")
            for kind, (lanes, median, p95) in figures.items():
                self.put('<tr><td>%s</td><td class="n">%d</td><td class="n">%s</td>'
                         '<td class="n">%s</td></tr>\n' % (
                             html.escape(words_of(kind)), lanes, milliseconds(median),
                             milliseconds(p95)))
            self.put("</tbody>\n</table>\n")
        slowest = fleet.slowest()
        if slowest:
            self.put("<h3>Slowest lanes (by their slowest exchange, in ms)</h3>\n<figure>%s"
                     "</figure>\n" % bar_chart("Slowest lanes", [
                         (name, ms, "un") for ms, name, _, _, _ in slowest]))
            self.put('<table class="slowest">\n<thead><tr><th>trace</th><th>command</th>'
                     '<th class="n">offset</th><th class="n">response</th></tr></thead>\n'
                     "<tbody>\n")
            for ms, name, _, kind, at in slowest:
                self.put('<tr><td><code>%s</code></td><td>%s</td><td class="n">%d</td>'
                         '<td class="n">%s</td></tr>\n' % (h(name), html.escape(words_of(kind)),
                                                           at, milliseconds(ms)))
            self.put("</tbody>\n</table>\n")
        self.put("</section>\n")

    def groups(self):
        f, fleet = self.fleet.figures, self.fleet
        worst = f.worst_groups()
        self.put('<section id="groups">\n<h2>Groups</h2>\n<p class="note">A group is the folder '
                 "%s above the trace (--group-depth %d): %s. The chart draws the %d with the "
                 "largest share of failed or unfinished last updates.</p>\n" % (
                     plural(fleet.depth, "level", "levels"), fleet.depth,
                     plural(len(worst), "group", "groups"), min(GROUPS_DRAWN, len(worst))))
        if worst:
            self.put("<figure>%s</figure>\n" % self.group_chart(worst[:GROUPS_DRAWN]))
        self.put('<table class="groups">\n<thead><tr><th>group</th><th class="n">traces</th>'
                 '<th class="n">unreadable</th><th class="n">completed</th><th class="n">failed'
                 '</th><th class="n">unfinished</th><th class="n">no update</th>'
                 '<th class="n">failed or unfinished</th></tr></thead>\n<tbody>\n')
        for group, row in worst:
            read = row[0] - row[1]
            self.put("<tr><td><code>%s</code></td>%s<td class=\"n\">%s</td></tr>\n" % (
                h(group), "".join('<td class="n">%d</td>' % value for value in row),
                percent(100 * (row[3] + row[4]) / read) if read else "-"))
        self.put("</tbody>\n</table>\n</section>\n")

    @staticmethod
    def group_chart(groups):
        """A bar per group, its length its traces, in parts: completed,
        failed, unfinished, no update, unreadable."""
        most = max(row[0] for _, row in groups) or 1
        height = ROW * len(groups) + 8
        out = ['<svg class="bars groups" viewBox="0 0 %d %d" width="%d" height="%d" role="img" '
               'aria-label="Groups">' % (LABEL_WIDTH + BAR_WIDTH + 80, height,
                                          LABEL_WIDTH + BAR_WIDTH + 80, height)]
        for i, (group, row) in enumerate(groups):
            y, x = 4 + i * ROW, float(LABEL_WIDTH)
            out.append('<g class="bar"><text x="%d" y="%d" text-anchor="end">%s</text>' % (
                LABEL_WIDTH - 8, y + 15, label_text(group)))
            for words, count, css in (("completed", row[2], "ok"), ("failed", row[3], "er"),
                                      ("unfinished", row[4], "un"), ("no update", row[5], "nd"),
                                      ("unreadable", row[1], "ur")):
                if count:
                    width = BAR_WIDTH * count / most
                    out.append('<rect class="%s" x="%s" y="%d" width="%s" height="%d"><title>%s: '
                               "%s %d of %d</title></rect>" % (
                                   css, number(x), y + 2, number(width), ROW - 6, h(group), words,
                                   count, row[0]))
                    x += width
            out.append('<text x="%s" y="%d">%d</text></g>' % (number(x + 6), y + 15, row[0]))
        out.append("</svg>")
        return "".join(out)

    def lanes(self):
        fleet = self.fleet
        shown_lanes = fleet.lanes
        self.put('<section id="lanes">\n<h2>Lanes that need a look (%d)</h2>\n<p class="note">'
                 "The lanes whose last update failed or is unfinished, in the order of the rows"
                 "%s. A trace links to its page, the offset to the error reply's entry in it."
                 "</p>\n" % (fleet.look_count, "; the first %d of them" % len(shown_lanes)
                             if len(shown_lanes) < fleet.look_count else ""))
        self.put('<p id="error-filter" hidden><label>Show the rows that contain <input '
                 'type="search" placeholder="for instance store-04"></label></p>\n'
                 '<table id="error-table">\n<thead><tr><th class="n">#</th><th>group</th>'
                 "<th>trace</th><th>outcome</th><th>verdict</th><th>first error</th>"
                 '<th class="n">offset</th></tr></thead>\n<tbody>\n')
        for number_, lane in enumerate(shown_lanes, 1):
            self.lane_row(number_, lane)
        self.put("</tbody>\n</table>\n</section>\n")

    def lane_row(self, number_, lane):
        reply, command, offset = lane.first_error()
        page = lane.page  # (href, None) or (None, why there is none), or None
        trace = "<code>%s</code>" % h(lane.name)
        if page is not None and page[0] is not None:
            trace = '<a href="%s">%s</a>' % (html.escape(page[0]), trace)
        elif page is not None:
            trace += ' <span class="note">(no page: %s)</span>' % h(page[1])
        error = "" if reply is None else h(reply) + (
            "" if command is None else " after &#39;%s&#39;" % h(command))
        at = "" if offset is None else str(offset)
        if offset is not None and page is not None and page[0] is not None:
            at = '<a href="%s#e%d">%d</a>' % (html.escape(page[0]), offset, offset)
        self.put('<tr id="lane-%d" class="bad"><td class="n">%d</td><td><code>%s</code></td>'
                 "<td>%s</td><td>%s</td><td>%s</td><td>%s</td><td class=\"n\">%s</td></tr>\n" % (
                     number_, number_, h(lane.group), trace, lane.outcome,
                     h(lane.facts["verdict"]), error, at))

    def unread(self):
        fleet = self.fleet
        self.put('<section id="unread">\n<h2>Traces that could not be read (%d)</h2>\n' %
                 fleet.unread_count)
        if fleet.unread:
            self.put('<table class="unread">\n<thead><tr><th>trace</th><th>why</th></tr>'
                     "</thead>\n<tbody>\n")
            for name, error in fleet.unread:
                self.put("<tr><td><code>%s</code></td><td>%s</td></tr>\n" % (h(name), h(error)))
            self.put("</tbody>\n</table>\n")
            if fleet.unread_count > len(fleet.unread):
                self.put('<p class="note">And %d more: their rows say why.</p>\n' % (
                    fleet.unread_count - len(fleet.unread)))
        self.put("</section>\n")


def page_link(page_path, report_path):
    """The href of a lane's page from the fleet page: its path relative to
    the fleet page's folder, every character but letters, digits, '/' and
    '-._~' percent-encoded."""
    relative = os.path.relpath(os.path.realpath(page_path),
                               os.path.dirname(os.path.realpath(report_path)))
    return urllib.parse.quote(os.fsencode(relative), safe="/")
