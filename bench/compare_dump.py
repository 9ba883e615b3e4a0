#!/usr/bin/env python3
"""Times corvane-dump against other PE dumpers on the same files, side by side.

Each round runs every command once on every file, in turn, so that a noisy
machine slows all of them alike; the table shows the median and the best of
the rounds, and the peak memory of one extra run (GNU time's maximum RSS).

Usage: compare_dump.py --dump build/dump/corvane-dump [--rounds 15] FILE...
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time


def peak_kb(command):
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=False)
    return int(result.stderr.strip().splitlines()[-1])


def dumpers(dump):
    """The commands compared, each to be followed by a file name."""
    tools = {"corvane-dump": [dump], "corvane-dump --json": [dump, "--json"]}
    if shutil.which("objdump"):
        tools["objdump -p"] = ["objdump", "-p"]
    if shutil.which("readpe"):
        tools["readpe -i -e"] = ["readpe", "-i", "-e"]
    return tools


def time_rounds(tools, files, rounds):
    """{(tool, file): [seconds per round]}, the rounds interleaved."""
    times = {(tool, path): [] for tool in tools for path in files}
    for _ in range(rounds):
        for path in files:
            for tool, command in tools.items():
                start = time.perf_counter()
                subprocess.run(command + [path], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
                times[(tool, path)].append(time.perf_counter() - start)
    return times


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    tools = dumpers(args.dump)
    times = time_rounds(tools, args.files, args.rounds)

    print("| file | size | tool | median ms | best ms | peak RSS KB |")
    print("|---|---:|---|---:|---:|---:|")
    for path in args.files:
        size = os.path.getsize(path)
        for tool, command in tools.items():
            samples = times[(tool, path)]
            print(f"| {os.path.basename(path)} | {size} | {tool} | {statistics.median(samples) * 1000:.1f} "
                  f"| {min(samples) * 1000:.1f} | {peak_kb(command + [path])} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
