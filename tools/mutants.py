#!/usr/bin/env python3
"""Seeds realistic faults into the sources one at a time and runs the tests
on each: how many of them the tests catch.

    tools/mutants.py [options] FILE_OR_GLOB...

Each fault changes one line of one source file: a comparison (< and <=,
== and !=), an off-by-one in a constant or a sum, a boolean (true and
false, && and ||), a negated condition, a dropped statement, or one
character of a string literal. A fault that does not compile is drawn
again. The build is incremental in BUILD_DIR; every file is restored after
its fault, also when the run is interrupted (Ctrl-C, SIGTERM, SIGHUP: the
build or the tests of the fault are ended, the file restored, and the run
ends with 128 + the signal's number). Writes one line per fault and a
total; --json writes the faults that the tests missed as JSON, for a person
to read (some change nothing: equivalent faults). Commands run without a
shell: the test command is split into words as a shell would split it,
leading NAME=VALUE words set its environment, and {build} stands for the
build folder in any word, whatever blanks its path holds (pipes and the
like need "sh -c '...'").

Standard library only. Run it on a checkout of its own: it edits sources.
"""
import argparse
import glob
import json
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import time

COMPARISONS = [("<=", "<"), (">=", ">"), ("==", "!="), ("!=", "=="), ("<", "<="), (">", ">=")]


def code_lines(text):
    """Indices of lines that hold code: not blank, comment, include or brace."""
    lines = text.split("\n")
    keep = []
    in_raw = False
    for i, line in enumerate(lines):
        stripped = line.strip()
        if 'R"' in line and ')"' not in line.split('R"', 1)[1]:
            in_raw = True
            continue
        if in_raw:
            if ')' in line and '"' in line:
                in_raw = False
            continue
        if not stripped or stripped.startswith(("//", "#", "*", "/*")):
            continue
        if stripped in ("{", "}", "};", "} else {", "public:", "private:", "protected:"):
            continue
        if stripped.startswith(("namespace", "using ", "template", "static_assert", "case ")):
            continue
        keep.append(i)
    return lines, keep


def outside_strings(line):
    """The spans of line outside string and character literals and comments."""
    spans, start, i, quote = [], 0, 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                i += 2
                continue
            if c == quote:
                quote = None
                start = i + 1
        elif c in "\"'":
            spans.append((start, i))
            quote = c
        elif line.startswith("//", i):
            spans.append((start, i))
            return spans
        i += 1
    if not quote:
        spans.append((start, len(line)))
    return spans


def candidates(line):
    """Every (description, new line) that one operator makes of line."""
    out = []
    spans = outside_strings(line)

    def each(pattern, replace, what):
        for a, b in spans:
            for m in re.finditer(pattern, line[a:b]):
                s, e = a + m.start(), a + m.end()
                new = replace(m)
                if new is not None:
                    out.append((what, line[:s] + new + line[e:]))

    for old, new in COMPARISONS:
        # A comparison stands between blanks; <<, <= inside << and -> are not.
        each(r"(?<= )" + re.escape(old) + r"(?= )", lambda m, new=new: new, f"'{old}' to '{new}'")
    each(r"(?<= )&&(?= )", lambda m: "||", "'&&' to '||'")
    each(r"(?<= )\|\|(?= )", lambda m: "&&", "'||' to '&&'")
    each(r"\btrue\b", lambda m: "false", "true to false")
    each(r"\bfalse\b", lambda m: "true", "false to true")
    each(r"(?<![\w.])(\d+)(?![\w.])",
         lambda m: str(int(m.group(1)) + 1), "a constant one larger")
    each(r"(?<![\w.])([1-9]\d*)(?![\w.])",
         lambda m: str(int(m.group(1)) - 1), "a constant one smaller")
    each(r"(?<= )\+(?= )", lambda m: "-", "'+' to '-'")
    each(r"(?<= )-(?= )", lambda m: "+", "'-' to '+'")
    each(r"\+\+", lambda m: "--", "'++' to '--'")
    m = re.match(r"^(\s*)(if|while) \((.*)\) (\{|return|continue|break)(.*)$", line)
    if m:
        out.append(("a negated condition",
                    f"{m.group(1)}{m.group(2)} (!({m.group(3)})) {m.group(4)}{m.group(5)}"))
    m = re.match(r"^(\s*)(if|while) \((.*)\) \{$", line)
    if m:
        out.append(("a negated condition", f"{m.group(1)}{m.group(2)} (!({m.group(3)})) {{"))
    stripped = line.strip()
    if (stripped.endswith(";") and not stripped.startswith(("return", "const ", "auto ", "std::"))
            and "=" not in stripped.split("(")[0] and not re.match(r"^\w[\w:<>,\s*&]* \w+;$", stripped)):
        out.append(("a dropped statement", re.match(r"^\s*", line).group(0) + ";"))
    for s in re.finditer(r'"((?:[^"\\]|\\.)+)"', line):
        text = s.group(1)
        letters = [i for i, c in enumerate(text) if c.isalnum()]
        if letters:
            i = letters[len(letters) // 2]
            c = text[i]
            swapped = "X" if c != "X" else "Y"
            out.append(("a string literal changed",
                        line[:s.start(1) + i] + swapped + line[s.start(1) + i + 1:]))
    return out


STOP_SIGNALS = (signal.SIGINT, signal.SIGTERM, signal.SIGHUP)
# The first stop signal that came, and the command running then. The
# handler raises nothing: it ends the command, and the run stops at the
# next look, after the source is restored, so that no exception can cut
# the restore short.
stopped_by = None
running = None


def on_stop(number, _frame):
    global stopped_by
    if stopped_by is None:
        stopped_by = number
    if running is not None:
        end_group(running)


def stop_on_signals():
    for number in STOP_SIGNALS:
        signal.signal(number, on_stop)


def end_if_stopped():
    if stopped_by is not None:
        name = signal.Signals(stopped_by).name
        print(f"mutants.py: stopped by {name}; every source is as it was", file=sys.stderr)
        sys.exit(128 + stopped_by)


def command_of(template, build):
    """The words and the environment of a command line such as
    "TZ=UTC ctest --test-dir {build}": split as a shell splits it, {build}
    put in after the split."""
    words = [word.replace("{build}", build) for word in shlex.split(template)]
    env = dict(os.environ)
    while words and re.match(r"^[A-Za-z_][A-Za-z0-9_]*=", words[0]):
        name, value = words.pop(0).split("=", 1)
        env[name] = value
    if not words:
        sys.exit(f"mutants.py: no command in {template!r}")
    return words, env


def run(command, cwd, timeout, env=None):
    """Runs command (a list of words) in a process group of its own, which
    is ended whole at the timeout or when a stop signal comes."""
    global running
    if stopped_by is not None:
        return -1, "stopped"
    running = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, start_new_session=True)
    if stopped_by is not None:  # the signal came while the command started
        end_group(running)
    try:
        output, _ = running.communicate(timeout=timeout)
        return running.returncode, output.decode(errors="replace")
    except subprocess.TimeoutExpired:
        end_group(running)
        running.communicate()
        return -1, "timeout"
    finally:
        running = None


def end_group(process):
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("files", nargs="+", help="source files or globs (relative to the root)")
    parser.add_argument("--root", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    parser.add_argument("--build", default="build/release", help="build folder (configured)")
    parser.add_argument("--count", type=int, default=40, help="faults to run")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--test", default="TZ=UTC ctest --test-dir {build} -j2 --timeout 120",
                        help="the test command, run without a shell; {build} is the build folder")
    parser.add_argument("--json", help="write the faults that survived to this file")
    args = parser.parse_args()

    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    files = sorted({f for pattern in args.files
                    for f in glob.glob(os.path.join(args.root, pattern), recursive=True)})
    if not files:
        sys.exit("mutants.py: no source files")
    build = os.path.join(args.root, args.build)
    test, test_env = command_of(args.test, build)
    build_command = ["cmake", "--build", build]
    stop_on_signals()
    status, output = run(build_command, args.root, 1200)
    end_if_stopped()
    if status != 0:
        sys.exit("mutants.py: the build fails before any fault:\n" + output[-2000:])
    status, output = run(test, args.root, 1200, test_env)
    end_if_stopped()
    if status != 0:
        sys.exit("mutants.py: the tests fail before any fault:\n" + output[-2000:])
    seed_faults(args, seed, rng, files, build_command, test, test_env)


def seed_faults(args, seed, rng, files, build_command, test, test_env):
    print(f"seed {seed}, {len(files)} files", flush=True)
    caught, survived, tried = 0, [], 0
    while caught + len(survived) < args.count and tried < args.count * 20:
        end_if_stopped()
        tried += 1
        path = rng.choice(files)
        original = open(path, encoding="utf-8").read()
        lines, keep = code_lines(original)
        if not keep:
            continue
        index = rng.choice(keep)
        options = candidates(lines[index])
        if not options:
            continue
        what, new_line = rng.choice(options)
        mutated = lines[:]
        mutated[index] = new_line
        name = os.path.relpath(path, args.root)
        try:
            with open(path, "w", encoding="utf-8") as f:
                f.write("\n".join(mutated))
            status, _ = run(build_command, args.root, 1200)
            if status != 0:
                continue
            status, output = run(test, args.root, 1200, test_env)
        finally:
            # Restored whatever happened; a signal only ends the command.
            with open(path, "w", encoding="utf-8") as f:
                f.write(original)
        end_if_stopped()
        fault = {"file": name, "line": index + 1, "what": what,
                 "before": lines[index].strip(), "after": new_line.strip()}
        if status != 0:
            caught += 1
            failed = re.findall(r"\d+ - (\S+) \(", output)
            fault["caught_by"] = failed[:3]
            print(f"caught   {name}:{index + 1} {what}: {new_line.strip()}  <- {', '.join(failed[:2])}",
                  flush=True)
        else:
            survived.append(fault)
            print(f"SURVIVED {name}:{index + 1} {what}: {new_line.strip()}", flush=True)
    run(build_command, args.root, 1200)
    total = caught + len(survived)
    if total:
        print(f"caught {caught} of {total} ({100.0 * caught / total:.0f}%), seed {seed}")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump({"seed": seed, "caught": caught, "survived": survived}, f, indent=1)


if __name__ == "__main__":
    main()
