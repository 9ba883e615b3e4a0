#!/usr/bin/env python3
"""Times `corvane-dump --modules --ship` against `--modules` on the same
files in one run each, the two run in turn round after round: the wall and
CPU time (user and system) of each, median and best of the rounds, and the
ratios of the medians. CPU time is what to compare on a loaded machine.

Usage: ship_vs_modules.py --dump build/dump/corvane-dump [--rounds 15] FILE...
"""

import argparse
import resource
import statistics
import subprocess
import time


def cpu_of_children():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run(command):
    """(wall, CPU) seconds of one run."""
    start, cpu = time.perf_counter(), cpu_of_children()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start, cpu_of_children() - cpu


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--dump", required=True)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("files", nargs="+")
    arguments = parser.parse_args()
    commands = {
        "--modules": [arguments.dump, "--modules", *arguments.files],
        "--modules --ship": [arguments.dump, "--modules", "--ship", *arguments.files],
    }
    times = {name: ([], []) for name in commands}
    for _ in range(arguments.rounds):
        for name, command in commands.items():
            wall, cpu = run(command)
            times[name][0].append(wall)
            times[name][1].append(cpu)
    for name, (wall, cpu) in times.items():
        print(f"{name}: wall median {1000 * statistics.median(wall):.0f} ms, best {1000 * min(wall):.0f} ms; "
              f"CPU median {1000 * statistics.median(cpu):.0f} ms, best {1000 * min(cpu):.0f} ms")
    for kind, which in (("wall", 0), ("CPU", 1)):
        ratio = statistics.median(times["--modules --ship"][which]) / statistics.median(times["--modules"][which])
        print(f"--ship / --modules, {kind} medians: {ratio:.3f}")


if __name__ == "__main__":
    main()
