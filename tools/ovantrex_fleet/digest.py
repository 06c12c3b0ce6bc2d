"""What the fleet tool keeps of a row: the facts of its summary that the
breakdowns, the table of lanes and the response times take, as the parts of
the tool's member "fleet" at the end of the row (see fleet.md):

- "digest": the lane's facts that many lanes share (the outcome of the last
  update first, the step it reached, why it failed or is unfinished, the EC
  levels, the error replies and failing addresses of any update);
- "lane": for a lane that needs a look, what only it has (its verdict, its
  first error reply, the refused command and its address, its last record);
- "times": the median response of the last update and of each kind of
  command; "slowest": its slowest exchange.

With --compare GOOD the digest ends with "parts": where the trace parts
from GOOD (the row's "comparison"), [] when it is alike.

The digest runs where the batch runs (a thread here, a Dask task), on the
summary as the program wrote it, and is written into the row; a later run
with --reuse takes it from there."""

import json

# The form of the member; a row of another form is read again.
FORMAT = 1
# The addresses of a flash page, as the program's flash map counts them.
PAGE = 0x1000
NOT_LISTED = "not listed"
# The verdict's words before the command that failed the last update, and
# before the reason why it is unfinished.
REFUSED = "failed: the device refused '"
UNFINISHED = "unfinished: "
NO_REPLY = "no reply to '"
# One encoder for every row (json.dumps with separators makes one a call).
COMPACT = json.JSONEncoder(separators=(",", ":")).encode


def refused_command(decoded):
    """A refused command by its kind, and for a flash write the flash pages
    that it writes ("flash write in page 0x018000-0x018fff") and its
    address in hex; a reset by the system command's words."""
    kind = decoded.get("kind")
    if kind == "flash write":
        first = decoded["address"] - decoded["address"] % PAGE
        last = decoded["address"] + max(decoded["data_count"], 1) - 1
        last += PAGE - 1 - last % PAGE
        return "flash write in page%s 0x%06x-0x%06x" % (
            "s" if last - first >= PAGE else "", first, last), "0x%06x" % decoded["address"]
    if kind == "system command":
        return decoded["sub_command"]["name"] or kind, None
    return kind or NOT_LISTED, None


def quoted(verdict, before):
    """The words in quotes after before in the verdict, and where the rest
    starts; (None, -1) when they are not there."""
    at = verdict.find(before)
    if at < 0:
        return None, -1
    start = at + len(before)
    end = verdict.find("'", start)
    return (verdict[start:end], end + 1) if end >= 0 else (None, -1)


def step_reached(summary, last):
    """How far the last update got: "device reset", "checksum written" (an
    accepted checksum write), "writing" (a flash write sent), "started", or
    "unknown" for an update past those the summary lists that did neither."""
    if last["reset"]:
        return "device reset"
    if last["checksum_written"]:
        return "checksum written"
    updates = summary["updates"]
    if last["number"] <= len(updates):
        return "writing" if updates[last["number"] - 1]["writes"] else "started"
    return "unknown"


def failure(summary, last):
    """Why the last update failed: the error reply that refused the command
    named in the verdict, and that command; with its first note and address."""
    note, _ = quoted(summary["verdict"], REFUSED)
    for error in summary["errors"]:
        command = error["command"]
        if error["update"] == last["number"] and command and command["notes"][:1] == [note]:
            label, address = refused_command(command.get("decoded") or {})
            return {"reply": "; ".join(error["notes"]), "command": label}, [note, address]
    return {"reply": None, "command": None}, [note, None]


def unfinished(summary):
    """Why the last update is unfinished, in the verdict's words ("checksum
    written but no reset"), and the kind of its last command when no reply
    answered it (from the summary's first unanswered commands)."""
    verdict = summary["verdict"]
    at = verdict.find(UNFINISHED)
    reason, unanswered = verdict[at + len(UNFINISHED):] if at >= 0 else "", None
    if reason.startswith(NO_REPLY):
        # The command's words may hold a quote (a serial number's): the last
        # "' at offset " ends them.
        rest = reason.rfind("' at offset ")
        words = reason[rest + 12:].split(";", 1) if rest >= 0 else [""]
        offset = int(words[0].replace(",", "")) if words[0].replace(",", "").isdigit() else None
        unanswered = next((command["kind"] for command in summary["exchanges"]["first_unanswered"]
                           if command["offset"] == offset), NOT_LISTED)
        reason = words[1].strip() if len(words) > 1 else ""
    return {"reason": reason.split("; ")[0], "unanswered": unanswered}


def first_error(summary, last):
    """The last update's first error reply: its notes, the first note of the
    command before it, its offset."""
    offset = last["first_error_offset"]
    if offset is None:
        return None
    for error in summary["errors"]:
        if error["offset"] == offset:
            command = error["command"]
            return ["; ".join(error["notes"]), command["notes"][0] if command and command["notes"]
                    else None, offset]
    return [None, None, offset]


def parting(compared):
    """Where a trace parts from GOOD, from its row's "comparison": [update,
    step, the trace's step's words, GOOD's, the words of the alike step
    before, in_both, other_bytes] (a step's words None where it has none);
    [] when it is alike."""
    at = compared["first_divergence"]
    if at is None:
        return []
    return [at["update"], at["step"]] + [at[side]["words"] if at[side] else None
                                         for side in ("trace", "good", "before")] + [
        at["in_both"], at["other_bytes"]]


def digest_parts(summary):
    """The tail of the member of a summarized trace, the bytes of its JSON
    after '"slowest":' to the member's end ('[40,...],"times":[...],
    "digest":{...},"lane":...}'), and its parts as values."""
    last, errors = summary["last_update"], summary["errors"]
    outcome, ec, o = last["outcome"] if last else None, summary["replies"]["ec"], \
        summary["outcomes"]
    digest = {"last": outcome, "step": step_reached(summary, last) if last else None,
              "outcomes": [o["completed"], o["failed"], o["unfinished"]],
              "ec": [ec["previous"], ec["current"]] if ec else None,
              "replies": sorted({"; ".join(error["notes"]) for error in errors}),
              "addresses": sorted({error["command"]["decoded"]["address"] for error in errors
                                   if error["command"] and error["command"].get(
                                       "decoded", {}).get("kind") == "flash write"}),
              "capped": summary["errors_left_out"] != 0}
    if "comparison" in summary:
        digest["parts"] = parting(summary["comparison"])
    lane = None
    if outcome in ("failed", "unfinished"):
        lane = {"verdict": summary["verdict"], "first_error": first_error(summary, last),
                "refused": None, "last_record": summary["time"]["last"]}
        if outcome == "failed":
            digest["failed"], lane["refused"] = failure(summary, last)
        else:
            digest["unfinished"] = unfinished(summary)
    exchanges, updates = summary["exchanges"], summary["updates"]
    number = last["number"] if last else 0
    times = [updates[number - 1]["responses"]["median_ms"] if 0 < number <= len(updates) else None,
             {kind: figures["median_ms"] for kind, figures in exchanges["by_kind"].items()
              if figures["timed"]}]
    slowest = exchanges["slowest"][0] if exchanges["slowest"] else None
    slowest = None if slowest is None else [slowest["response_ms"], slowest["kind"],
                                            slowest["command"]]
    value = {"slowest": slowest, "times": times, "digest": digest, "lane": lane}
    return COMPACT(value)[len('{"slowest":'):].encode("ascii"), value


def member(program, key, tail, good=None):
    """The tool's member of a row (bytes), after the program's members: the
    program that summarized the trace (a JSON string), the member's form,
    with --compare the file of GOOD, the trace's file (each as file_key
    writes it: device, inode, size, modification time in ns, as the run
    found it before reading it), then its tail."""
    return b',"fleet":{"program":%s,%s"file":[%s],"slowest":%s' % (
        program, form(good), key or b"", tail)


def form(good):
    """The member's form and the file of GOOD (None without --compare), as
    a row's member writes them before the trace's file: a row is reused
    only by a run of the same."""
    return b'"format":%d,' % FORMAT + (b'' if good is None else b'"good":[%s],' % good)


def tail_value(tail):
    """The parts of a member's tail (bytes, as digest_parts makes it):
    {"slowest", "times", "digest", "lane"}."""
    return json.loads(b'{"slowest":' + tail)
