#!/usr/bin/env python3
"""Runs the deliberate faults listed in this folder's *.txt files.

A fault is written as

    == <id> <folders>: <what the fault does>
    file: <path from the repository root>
    - <text as it stands in the file>
    + <text the fault puts in its place>

Several "-" lines form one block of consecutive lines, as do several "+"
lines; the "-" block must occur exactly once in the file. <folders> are the
test folders (ctest labels) whose suites must catch the fault, separated by
commas. A fault is caught when one of those suites fails or hangs.
"""

import argparse
import os
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
LISTS = pathlib.Path(__file__).resolve().parent


class Fault:
    def __init__(self, ident, labels, title, origin):
        self.ident, self.labels, self.title, self.origin = ident, labels, title, origin
        self.file = None
        self.old, self.new = [], []


def parse(path):
    faults, fault = [], None
    for number, line in enumerate(path.read_text().splitlines(), 1):
        where = f"{path.name}:{number}"
        if line.startswith("== "):
            head, _, title = line[3:].partition(":")
            ident, _, labels = head.strip().partition(" ")
            fault = Fault(ident, [l.strip() for l in labels.split(",") if l.strip()],
                          title.strip(), where)
            faults.append(fault)
        elif fault is None or not line.strip() or line.startswith("#"):
            continue
        elif line.startswith("file:"):
            fault.file = line[5:].strip()
        elif line.startswith("- ") or line == "-":
            fault.old.append(line[2:])
        elif line.startswith("+ ") or line == "+":
            fault.new.append(line[2:])
        else:
            sys.exit(f"{where}: cannot read '{line}'")
    for f in faults:
        if not (f.file and f.old and f.labels):
            sys.exit(f"{f.origin}: fault {f.ident} needs a file, a '-' block and folders")
    return faults


def faulty_text(fault):
    """The file's text with the fault in it, or None when the '-' block is
    not found exactly once."""
    text = (ROOT / fault.file).read_text()
    old, new = "\n".join(fault.old), "\n".join(fault.new)
    if text.count(old) != 1:
        return text, None
    return text, text.replace(old, new)


def build(build_dir, log):
    done = subprocess.run(["cmake", "--build", build_dir, "--parallel", str(os.cpu_count())],
                          stdout=log, stderr=subprocess.STDOUT)
    return done.returncode == 0


def run_suites(build_dir, labels, log):
    regex = "^(" + "|".join(labels) + ")$"
    done = subprocess.run(["ctest", "--test-dir", build_dir, "-L", regex, "--stop-on-failure",
                           "--parallel", str(os.cpu_count()), "--timeout", "180",
                           "--output-on-failure"], stdout=log, stderr=subprocess.STDOUT)
    return done.returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default="build-mutants")
    parser.add_argument("--check", action="store_true",
                        help="only check that every fault is found once in its file")
    parser.add_argument("ids", nargs="*")
    args = parser.parse_args()
    build_dir = str(ROOT / args.build_dir)
    faults = [f for path in sorted(LISTS.glob("*.txt")) for f in parse(path)]
    if args.ids:
        faults = [f for f in faults if f.ident in args.ids]
    if args.check:
        stale = [f for f in faults if faulty_text(f)[1] is None]
        for f in stale:
            print(f"not found once: {f.ident} ({f.origin}) in {f.file}")
        print(f"{len(faults)} faults, {len(stale)} not found once")
        return 1 if stale else 0
    result_path = pathlib.Path(build_dir) / "mutants-result.txt"
    log_dir = pathlib.Path(build_dir) / "mutants-logs"
    log_dir.mkdir(exist_ok=True)
    counts = {"caught": 0, "missed": 0, "no build": 0, "stale": 0}
    lines = []

    def report(verdict, fault, seconds):
        counts[verdict] += 1
        line = f"{verdict:8} {fault.ident:14} {seconds:5.0f} s  {fault.title}"
        lines.append(line)
        print(line, flush=True)

    for fault in faults:
        started = time.monotonic()
        original, faulty = faulty_text(fault)
        if faulty is None:
            report("stale", fault, 0)
            continue
        path = ROOT / fault.file
        with open(log_dir / f"{fault.ident}.log", "w") as log:
            try:
                path.write_text(faulty)
                if not build(build_dir, log):
                    report("no build", fault, time.monotonic() - started)
                    continue
                caught = not run_suites(build_dir, fault.labels, log)
                report("caught" if caught else "missed", fault, time.monotonic() - started)
            finally:
                path.write_text(original)
    # Leave the build as the sources are.
    with open(log_dir / "restore.log", "w") as log:
        build(build_dir, log)
    total = len(faults)
    summary = (f"{counts['caught']} of {total} faults caught, {counts['missed']} missed"
               f", {counts['no build']} did not build, {counts['stale']} not found")
    print(summary)
    result_path.write_text("\n".join(lines + [summary]) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
