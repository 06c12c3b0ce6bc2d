"""The rows of an earlier run (--reuse ROWS): a trace whose file is the one
that a row's member names (the same device, inode, size and modification
time) takes that row again instead of being read, when the row was written
by the same program version in the same form, against the same file of
GOOD with --compare (and without, when the run has no --compare), and its
trace was summarized without an error (status 0).

The file is mapped, not read into memory, and stays open: the rows reused
are copied from it in the kernel where it can. While the traces come in the
order of its rows (a fleet that did not change), each is matched with the
next row; the first that is not makes an index of the rows left, by their
trace's file, and the rest are looked up there."""

import mmap
import os

from ovantrex_fleet.digest import form

MEMBER = b',"fleet":{"program":'
NAME = b'{"trace":{"name":'  # 17 bytes
NAME_END = b'","bytes":'
SLOWEST = b'],"slowest":'
TIMES = b',"times":'
FACTS = b',"digest":'
LANE = b',"lane":'

class EarlierRows:
    """The rows of ROWS. The tool writes its member only in the row of a
    trace summarized without an error: a row with one is sound. Raises
    OSError."""

    def __init__(self, path, program, good=None):
        self.path = path
        self.descriptor = os.open(path, os.O_RDONLY)
        try:
            size = os.fstat(self.descriptor).st_size
            # Every page of it is read: they are mapped at once.
            self.map = mmap.mmap(self.descriptor, 0, flags=mmap.MAP_SHARED | getattr(
                mmap, "MAP_POPULATE", 0), prot=mmap.PROT_READ) if size else b""
        except BaseException:
            os.close(self.descriptor)
            raise
        # The program, the member's form and GOOD's file (with --compare)
        # must be those of this run.
        self.prefix = MEMBER + program + b',' + form(good) + b'"file":['
        self.at = 0  # the next row, while the traces come in the order of the rows
        self.index = None  # then, the places of the rows left by their key
        self.counted = 0  # the rows passed

    def place(self, start, end):
        """(key, place) of the row from start to end (its line end), or None
        when it cannot be reused; its place is (start, end, the end of its
        file key)."""
        data = self.map
        member = data.rfind(MEMBER, start, end)
        if member < 0 or data[member:member + len(self.prefix)] != self.prefix or \
                data[start:start + len(NAME)] != NAME:
            return None
        key_end = data.find(SLOWEST, member, end)
        return (None if key_end < 0 else
                (data[member + len(self.prefix):key_end], (start, end, key_end)))

    def take(self, key):
        """The earlier row of the trace whose file key is key (bytes): (its
        place, its member's tail as digest_parts makes it); None when there
        is none."""
        if self.index is None:
            data, at, prefix = self.map, self.at, self.prefix
            size = len(data)
            while at < size:
                end = data.find(b"\n", at)
                end = size if end < 0 else end
                if end == at:
                    at += 1
                    continue
                # The next row, as place() and parts() take it, in one go.
                member = data.rfind(MEMBER, at, end)
                key_at = member + len(prefix)
                key_end = data.find(SLOWEST, key_at, end) if member >= 0 else -1
                if key_end < 0 or data[key_at:key_end] != key or \
                        data[member:key_at] != prefix or data[at:at + 17] != NAME:
                    self.at = at
                    self.make_index()
                    break
                self.at, self.counted = end + 1, self.counted + 1
                tail = data[key_end + 12:end - 1]
                if tail[-1:] == b"}" and TIMES in tail and FACTS in tail and LANE in tail:
                    return (at, end, key_end), tail
                return None
            else:
                self.at = at
                return None
        place = self.index.pop(key, None)
        return None if place is None else self.parts(place)

    def take_run(self, entries, first, most, quote):
        """While the traces come in the order of the rows: the rows of the
        entries from first on (at most most of them) that are the next rows
        of the file, each of a trace ("trace", name, key) whose key and name
        are those of its row, so that their bytes are copied as they are:
        (how many, where the first starts, where the last ends with its line
        end, their names, their members' tails); None when the next entry's
        row is not such a row (take() then has its say)."""
        if self.index is None and self.at < len(self.map):
            return self._take_run(entries, first, min(len(entries), first + most), quote)
        return None

    def _take_run(self, entries, first, last, quote):
        data, at, prefix = self.map, self.at, self.prefix
        size, start, length, names, tails = len(data), self.at, len(prefix), [], []
        find, rfind, fsencode = data.find, data.rfind, os.fsencode
        i = first
        while i < last and at < size:
            kind, name, key = entries[i]
            if kind != "trace" or not key:
                break
            end = find(b"\n", at)
            end = size if end < 0 else end
            member = rfind(MEMBER, at, end)
            key_at = member + length
            key_end = find(SLOWEST, key_at, end) if member >= 0 else -1
            if key_end < 0 or data[key_at:key_end] != key or data[member:key_at] != prefix:
                break
            named = fsencode(name)
            quoted = NAME + quote(named) + NAME_END[1:]
            tail = data[key_end + 12:end - 1]
            if data[at:at + len(quoted)] != quoted or tail[-1:] != b"}" or LANE not in tail:
                break
            names.append(named)
            tails.append(tail)
            at, i = end + 1, i + 1
        if i == first:
            return None
        self.at, self.counted = at, self.counted + i - first
        return i - first, start, min(at, size), names, tails

    def make_index(self):
        data, self.index = self.map, {}
        while self.at < len(data):
            end = data.find(b"\n", self.at)
            end = len(data) if end < 0 else end
            if end > self.at:
                self.counted += 1
                found = self.place(self.at, end)
                if found is not None:
                    self.index[found[0]] = found[1]
            self.at = end + 1

    def parts(self, place):
        """(place, the member's tail) of a row; None when its tail is not one."""
        data, (_, end, key_end) = self.map, place
        tail = data[key_end + len(SLOWEST):end - 1]
        return (place, tail) if tail.endswith(b"}") and TIMES in tail and FACTS in tail and \
            LANE in tail else None

    def rows(self):
        """How many rows the file holds."""
        if self.index is None:
            self.make_index()
        return self.counted

    def name_end(self, place):
        """Where the row's name ends (after its closing quote)."""
        return self.map.find(NAME_END, place[0], place[1]) + 1
