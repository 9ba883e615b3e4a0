#!/usr/bin/env python3
"""Finds a file's closure the plain way, with one `objdump -p` per module,
breadth first, and sets it beside `corvane-dump --modules`: the time each
takes (median of the rounds, run in turn) and whether they found the same
files.

The plain walk looks for each imported name (import and delay-load tables
alike) in the file's own folder, then in the folders given, without regard
to case. It knows nothing of API sets or forwarders, so the check may find
more (the libraries forwarded to); every file the walk finds must be among
the check's.

Usage: closure_vs_objdump.py --dump build/dump/corvane-dump [--rounds 5] [--folder DIR]... FILE
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import time

DLL_NAME = re.compile(r"^\tDLL Name: (.+)$", re.MULTILINE)


def objdump_closure(path, folders):
    listings = {folder: {entry.lower(): entry for entry in os.listdir(folder)} for folder in folders}
    found, queue, missing = {os.path.realpath(path)}, [path], set()
    while queue:
        output = subprocess.run(["objdump", "-p", queue.pop(0)], capture_output=True, text=True, check=False).stdout
        for name in DLL_NAME.findall(output):
            place = next((os.path.join(f, listings[f][name.lower()]) for f in folders if name.lower() in listings[f]), None)
            if place is None:
                missing.add(name.lower())
            elif os.path.realpath(place) not in found:
                found.add(os.path.realpath(place))
                queue.append(place)
    return found, missing


def check_closure(dump, path, folders):
    command = [dump, "--modules"] + [arg for f in folders[1:] for arg in ("--path", f)] + [path]
    output = subprocess.run(command, capture_output=True, text=True, check=False).stdout
    found = {os.path.realpath(m) for m in re.findall(r" => (/.*?)(?: \(|$)", output, re.MULTILINE)}
    return found | {os.path.realpath(path)}, set(re.findall(r"^\t(\S+) => not found", output, re.MULTILINE))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--folder", action="append", default=[])
    parser.add_argument("file")
    args = parser.parse_args()
    folders = [os.path.dirname(os.path.abspath(args.file))] + args.folder

    times = {"objdump -p, breadth first": [], "corvane-dump --modules": []}
    for _ in range(args.rounds):
        for label, walk in (("objdump -p, breadth first", lambda: objdump_closure(args.file, folders)),
                            ("corvane-dump --modules", lambda: check_closure(args.dump, args.file, folders))):
            start = time.perf_counter()
            result = walk()
            times[label].append(time.perf_counter() - start)
            if label.startswith("objdump"):
                plain = result
            else:
                checked = result

    for label, seconds in times.items():
        print(f"{label:28} {statistics.median(seconds) * 1000:9.1f} ms (median of {args.rounds})")
    print(f"files found: objdump walk {len(plain[0])}, check {len(checked[0])}; "
          f"not found: {len(plain[1])} and {len(checked[1])}")
    lost = plain[0] - checked[0]
    if lost:
        print("found by the walk but not by the check:", *sorted(lost), sep="\n  ")
        sys.exit(1)


if __name__ == "__main__":
    main()
