"""What a run tells on a terminal's standard error, and only there: the wait
for a followed trace that is not there yet, and the status line of a
followed summary and of a run into a -w file. Standard error is a
pseudo-terminal of 80 columns; standard output a pipe.

    terminal_test.py PROGRAM MAKE_TRACE
"""

import fcntl
import os
import pty
import select
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time
import unittest

PROGRAM = MAKE_TRACE = ""
DEADLINE = 5.0


def make_trace(folder, name, description):
    """A trace made with make_trace from its text form."""
    text = os.path.join(folder, name + ".txt")
    trace = os.path.join(folder, name)
    with open(text, "w", encoding="utf-8") as f:
        f.write(description)
    subprocess.run([MAKE_TRACE, text, trace], check=True)
    with open(trace, "rb") as f:
        return f.read()


class Run:
    """The program with standard error on a pseudo-terminal (or a pipe) and
    standard output on a pipe."""

    def __init__(self, args, terminal=True):
        self.err = b""
        self.out = b""
        if terminal:
            self.master, slave = pty.openpty()
            fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 80, 0, 0))
            # The bytes as the program wrote them: no "\n" made "\r\n".
            attributes = termios.tcgetattr(slave)
            attributes[1] &= ~termios.OPOST
            termios.tcsetattr(slave, termios.TCSANOW, attributes)
            stderr = slave
        else:
            self.master = None
            stderr = subprocess.PIPE
        self.child = subprocess.Popen([PROGRAM] + args, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=stderr)
        if terminal:
            os.close(slave)
        self.err_fd = self.master if terminal else self.child.stderr.fileno()
        self.out_fd = self.child.stdout.fileno()

    def _drain(self, timeout):
        """Reads what came within the timeout; False when nothing did."""
        open_fds = [fd for fd in (self.err_fd, self.out_fd) if fd is not None]
        ready, _, _ = select.select(open_fds, [], [], timeout)
        got = False
        for fd in ready:
            try:
                data = os.read(fd, 65536)
            except OSError:  # the terminal's other end closed
                data = b""
            is_err = fd == self.err_fd
            if is_err:
                self.err += data
            else:
                self.out += data
            if not data:  # at its end: not looked at again
                if is_err:
                    self.err_fd = None
                else:
                    self.out_fd = None
            got = got or bool(data)
        return got

    def wait_for_err(self, text):
        deadline = time.monotonic() + DEADLINE
        while text not in self.err:
            if time.monotonic() > deadline:
                return False
            self._drain(0.05)
        return True

    def stop(self, signal_number=signal.SIGINT):
        self.child.send_signal(signal_number)
        status = self.child.wait(DEADLINE)
        while self._drain(0.05):
            pass
        self.child.stdout.close()
        if self.child.stderr is not None:
            self.child.stderr.close()
        if self.master is not None:
            os.close(self.master)
        return status


# An update begun (a "Start flash update" and its reply), then a command
# that the device refuses ("Command reject").
START = """text +0 "update starts\\n"
write +5 00 00 a0 00 | 04 00 01 00 00 00 00 00
read +40 00 00 a0 00 | 01 00 00 00 00 00
"""
REFUSED = """write +3 00 00 a0 00 | 04 00 00 07 00 00 00 00
read +3 00 00 a0 00 | 80 00 00 00 00 00
"""
# A blank line's width on the terminal: the status line's clearing.
def clearing(line):
    return b"\r" + b" " * len(line) + b"\r"


class TerminalTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.folder = self.dir.name

    def tearDown(self):
        self.dir.cleanup()

    def test_the_wait_for_a_trace_not_there_yet_is_told_once_on_a_terminal(self):
        trace = os.path.join(self.folder, "late.trc")
        records = make_trace(self.folder, "records", 'text +0 "here\\n"\n')
        told = b"ovantrex: waiting for '" + trace.encode() + b"' to appear\n"
        run = Run(["--follow", "-f", trace])
        self.assertTrue(run.wait_for_err(told), run.err)
        time.sleep(0.3)  # several looks at the name, one message
        with open(trace, "wb") as f:
            f.write(records)
        deadline = time.monotonic() + DEADLINE
        while b"here" not in run.out and time.monotonic() < deadline:
            run._drain(0.05)
        self.assertEqual(run.stop(signal.SIGTERM), 0)
        self.assertEqual(run.err, told)
        self.assertIn(b"here", run.out)

    def test_a_followed_summary_shows_its_status_line_until_the_end(self):
        trace = os.path.join(self.folder, "update.trc")
        make_trace(self.folder, "update.trc", START)
        refused = make_trace(self.folder, "refused", REFUSED)
        # The header of an over-long record alone (16 bytes), which -x reports.
        over_long = make_trace(self.folder, "over-long", "text +0 300000*41\n")[:16]
        run = Run(["--follow", "--summary", "-x", "-f", trace])
        first = b"3 records, 1 update (unfinished so far), 0 error replies"
        self.assertTrue(run.wait_for_err(b"\r" + first), run.err)
        with open(trace, "ab") as f:
            f.write(refused)
        second = b"5 records, 1 update (unfinished so far), 1 error reply"
        self.assertTrue(run.wait_for_err(b"\r" + second), run.err)
        # A message while the line stands: the line is taken off first.
        with open(trace, "ab") as f:
            f.write(over_long)
        self.assertTrue(run.wait_for_err(b"Length to read is too big"), run.err)
        self.assertEqual(run.stop(), 0)
        message = run.err.index(b"Length to read")
        self.assertTrue(run.err[:message].endswith(clearing(second)), run.err)
        # Cleared at the end, before the summary; nothing of it on standard output.
        self.assertTrue(run.err.endswith(clearing(second)), run.err)
        self.assertTrue(run.out.startswith(b"update 1 unfinished"), run.out[:200])
        self.assertNotIn(b"\r", run.out)

    def test_no_status_line_reaches_a_pipe(self):
        trace = os.path.join(self.folder, "update.trc")
        make_trace(self.folder, "update.trc", START)
        refused = make_trace(self.folder, "refused", REFUSED)
        run = Run(["--follow", "--summary", "-f", trace], terminal=False)
        time.sleep(0.7)  # past the first drawing's time, then more to read
        with open(trace, "ab") as f:
            f.write(refused)
        time.sleep(0.5)
        self.assertEqual(run.stop(), 0)
        self.assertEqual(run.err, b"")

    def test_a_run_into_a_file_shows_the_bytes_read(self):
        # A FIFO as the trace: the run lasts as long as the test writes.
        trace = os.path.join(self.folder, "trace.fifo")
        os.mkfifo(trace)
        block = make_trace(self.folder, "block", "text +0 1000*41\n" * 1100)
        output = os.path.join(self.folder, "listing.txt")
        run = Run(["-f", trace, "-w", output])
        with open(trace, "wb") as writer:
            for _ in range(6):
                writer.write(block)
                writer.flush()
                time.sleep(0.3)
            self.assertTrue(run.wait_for_err(b" MiB read"), run.err)
        self.assertRegex(run.err, rb"^\r[1-6]\.[0-9] MiB read")
        self.assertEqual(run.child.wait(DEADLINE), 0)
        run.stop()
        self.assertTrue(run.err.endswith(b"\r"), run.err)
        with open(output, "rb") as f:
            self.assertNotIn(b"MiB read", f.read())


if __name__ == "__main__":
    PROGRAM, MAKE_TRACE = sys.argv[1], sys.argv[2]
    del sys.argv[1:3]
    unittest.main()
