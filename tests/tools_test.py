#!/usr/bin/python3
"""The developer tools fail closed: tools/mutants.py puts every source back
when it is stopped, and runs its commands under a checkout path with blanks;
tools/check.sh tidy checks the files of a checkout whose path holds regular
expression operators, and fails when it checked none.

    tools_test.py SOURCE_DIR

Each case works in a checkout of its own under a temporary folder: a tiny
CMake project for mutants.py, and for check.sh a compile database with
stand-ins for clang-tidy and run-clang-tidy (which keeps to run-clang-tidy's
contract: its file arguments are regular expressions searched in the
absolute paths of the database, and it fails when a clang-tidy run fails).
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = None
PYTHON = sys.executable
SOURCE_TEXT = "int value() { return 1 + 2; }\n"

# Waits for the tests of a fault: the source differs from its copy.
PROBE = """\
import os, sys, time
root = sys.argv[1]
with open(os.path.join(root, "src", "x.cpp")) as now, open(os.path.join(root, "pristine")) as was:
    if now.read() == was.read():
        sys.exit(0)
with open(os.path.join(root, "mutated"), "w") as marker:
    marker.write(str(os.getpid()))
time.sleep(120)
"""

RUN_CLANG_TIDY = """\
import json, re, subprocess, sys
args = sys.argv[1:]
binary = args[args.index("-clang-tidy-binary") + 1]
build = args[args.index("-p") + 1]
files = [a for a in args[args.index("-p") + 2:]]
pattern = re.compile("|".join(files))
failed = False
with open(build + "/compile_commands.json") as database:
    entries = json.load(database)
for entry in entries:
    if pattern.search(entry["file"]):
        command = [binary, "--use-color", "-p=" + build, "-quiet", entry["file"]]
        print(" ".join(command), flush=True)
        failed |= subprocess.call(command) != 0
sys.exit(1 if failed else 0)
"""

CLANG_TIDY = """\
#!/bin/sh
for last; do :; done
echo "$last" >> "$(dirname "$0")/checked"
if [ -n "$FINDING" ]; then echo "$last:1:1: warning: a finding [demo]"; exit 1; fi
exit 0
"""


def wait_for(path, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if os.path.exists(path) and os.path.getsize(path) > 0:
            return True
        time.sleep(0.05)
    return False


def gone(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return True
    return False


class Mutants(unittest.TestCase):
    def checkout(self, name):
        """A configured project whose one source the tool mutates."""
        root = os.path.join(self.enterContext(tempfile.TemporaryDirectory()), name)
        os.makedirs(os.path.join(root, "src"))
        with open(os.path.join(root, "src", "x.cpp"), "w") as f:
            f.write(SOURCE_TEXT)
        shutil.copy(os.path.join(root, "src", "x.cpp"), os.path.join(root, "pristine"))
        with open(os.path.join(root, "CMakeLists.txt"), "w") as f:
            f.write("cmake_minimum_required(VERSION 3.25)\nproject(t NONE)\n"
                    "add_custom_target(nothing ALL)\n")
        with open(os.path.join(root, "probe.py"), "w") as f:
            f.write(PROBE)
        subprocess.run(["cmake", "-G", "Ninja", "-S", root, "-B", os.path.join(root, "build")],
                       check=True, stdout=subprocess.DEVNULL)
        return root

    def test_a_stop_during_the_tests_of_a_fault_restores_the_source(self):
        for name, stop in [("checkout", signal.SIGTERM), ("checkout", signal.SIGINT),
                           ("check out", signal.SIGTERM)]:
            with self.subTest(checkout=name, signal=stop.name):
                root = self.checkout(name)
                tool = subprocess.Popen(
                    [PYTHON, os.path.join(SOURCE, "tools", "mutants.py"), "--root", root,
                     "--build", "build", "--count", "1", "--seed", "1",
                     "--test", PYTHON + " {build}/../probe.py {build}/..", "src/x.cpp"],
                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                marker = os.path.join(root, "mutated")
                if not wait_for(marker, 60):
                    tool.kill()
                    out, err = tool.communicate()
                    self.fail("no fault's tests started:\n" + out + err)
                with open(marker) as f:
                    probe = int(f.read())
                tool.send_signal(stop)
                out, err = tool.communicate(timeout=30)
                with open(os.path.join(root, "src", "x.cpp")) as f:
                    self.assertEqual(f.read(), SOURCE_TEXT, "the source was left mutated")
                self.assertTrue(gone(probe), "the tests of the fault still run")
                self.assertEqual(tool.returncode, 128 + stop, out + err)
                self.assertIn(f"stopped by {stop.name}; every source is as it was", err)


class Tidy(unittest.TestCase):
    def checkout(self, names):
        """A checkout under "proj[2]" whose compile database names the files."""
        root = os.path.join(self.enterContext(tempfile.TemporaryDirectory()), "proj[2]")
        os.makedirs(os.path.join(root, "tools"))
        shutil.copy(os.path.join(SOURCE, "tools", "check.sh"), os.path.join(root, "tools"))
        build = os.path.join(root, "build", "release")
        os.makedirs(build)
        database = [{"directory": build, "file": os.path.join(root, name),
                     "command": "c++ -c " + name} for name in names]
        with open(os.path.join(build, "compile_commands.json"), "w") as f:
            json.dump(database, f)
        bin_dir = os.path.join(root, "bin")
        os.makedirs(bin_dir)
        for name, text in [("clang-tidy", CLANG_TIDY),
                           ("run-clang-tidy", "#!" + PYTHON + "\n" + RUN_CLANG_TIDY)]:
            with open(os.path.join(bin_dir, name), "w") as f:
                f.write(text)
            os.chmod(os.path.join(bin_dir, name), 0o755)
        return root

    def tidy(self, root, finding=False):
        env = dict(os.environ, CLANG_TIDY=os.path.join(root, "bin", "clang-tidy"),
                   RUN_CLANG_TIDY=os.path.join(root, "bin", "run-clang-tidy"))
        if finding:
            env["FINDING"] = "1"
        done = subprocess.run(["bash", os.path.join(root, "tools", "check.sh"), "tidy"],
                              env=env, capture_output=True, text=True)
        checked = os.path.join(root, "bin", "checked")
        files = []
        if os.path.exists(checked):
            with open(checked) as f:
                files = f.read().split()
        return done, files

    def test_the_files_of_a_checkout_whose_path_holds_brackets_are_checked(self):
        root = self.checkout(["src/a.cpp", "tests/b_test.cpp", "elsewhere/c.cpp"])
        done, files = self.tidy(root)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertEqual(sorted(files), [os.path.join(root, "src/a.cpp"),
                                         os.path.join(root, "tests/b_test.cpp")])
        self.assertEqual(done.stdout, "tidy: no findings in 2 files\n")

    def test_a_finding_or_no_file_checked_fails(self):
        done, _ = self.tidy(self.checkout(["src/a.cpp"]), finding=True)
        self.assertNotEqual(done.returncode, 0, "a finding passed")
        self.assertIn("warning: a finding", done.stdout)
        done, files = self.tidy(self.checkout(["elsewhere/c.cpp"]))
        self.assertEqual(files, [])
        self.assertEqual(done.returncode, 1, done.stdout + done.stderr)
        self.assertIn("tidy: no file was checked", done.stderr)


if __name__ == "__main__":
    SOURCE = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
