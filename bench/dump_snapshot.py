#!/usr/bin/env python3
"""Records what corvane-dump prints for each file, to check that a change
leaves its output byte for byte as it was.

Each file is dumped four ways (the tree, --json, --modules, --modules --json),
each run's standard output, standard error and exit status written to one
file of OUTPUT_DIR. Record before the change, record after it into another
folder, then compare:

  dump_snapshot.py record --dump build/dump/corvane-dump --out /tmp/before FILE...
  dump_snapshot.py compare /tmp/before /tmp/after
"""

import argparse
import filecmp
import os
import subprocess
import sys

MODES = {"tree": [], "json": ["--json"], "modules": ["--modules"], "modules-json": ["--modules", "--json"]}


def record(dump, out, files):
    os.makedirs(out, exist_ok=True)
    for path in files:
        stem = os.path.abspath(path).strip("/").replace("/", "_")
        for mode, options in MODES.items():
            result = subprocess.run([dump] + options + [path], capture_output=True, check=False)
            with open(os.path.join(out, f"{stem}.{mode}"), "wb") as snapshot:
                snapshot.write(result.stdout + b"\n--- stderr\n" + result.stderr
                               + f"\n--- exit {result.returncode}\n".encode())
    return 0


def compare(before, after):
    names = sorted(set(os.listdir(before)) | set(os.listdir(after)))
    differing = [name for name in names
                 if not (os.path.exists(os.path.join(before, name)) and os.path.exists(os.path.join(after, name))
                         and filecmp.cmp(os.path.join(before, name), os.path.join(after, name), shallow=False))]
    for name in differing:
        print(f"differs: {name}")
    print(f"{len(names) - len(differing)} of {len(names)} outputs identical")
    return 1 if differing else 0


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    recording = commands.add_parser("record")
    recording.add_argument("--dump", required=True)
    recording.add_argument("--out", required=True)
    recording.add_argument("files", nargs="+")
    comparing = commands.add_parser("compare")
    comparing.add_argument("before")
    comparing.add_argument("after")
    args = parser.parse_args()
    if args.command == "record":
        return record(args.dump, args.out, args.files)
    return compare(args.before, args.after)


if __name__ == "__main__":
    sys.exit(main())
