#!/usr/bin/env python3
"""Times `corvane-dump --depth N` on a program with several system imports.

By default Wine's notepad.exe with Wine's own PE libraries as the system
folder (Debian package libwine). Reports the median time of the rounds, the
nodes shown, the libraries inspected and the time per inspected library.

Usage: inspection_bench.py --dump build/dump/corvane-dump [--depth 2] [--rounds 15] [PROGRAM]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

WINE = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"


def count(nodes):
    total = inspected = 0
    for node in nodes:
        total += 1
        inspected += node["icon"] == 2
        sub_total, sub_inspected = count(node["children"])
        total += sub_total
        inspected += sub_inspected
    return total, inspected


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--depth", type=int, default=2)
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("program", nargs="?", default=os.path.join(WINE, "notepad.exe"))
    args = parser.parse_args()
    if not os.path.exists(args.program):
        print(f"{args.program} not found (install libwine, or name a program)", file=sys.stderr)
        return 2

    environment = dict(os.environ)
    environment.setdefault("CORVANE_SYSTEM_PATH", os.path.dirname(args.program))
    command = [args.dump, "--depth", str(args.depth), args.program]
    times = []
    for _ in range(args.rounds):
        start = time.perf_counter()
        subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=environment, check=False)
        times.append(time.perf_counter() - start)
    tree = json.loads(subprocess.run([args.dump, "--json"] + command[1:], capture_output=True, text=True,
                                     env=environment, check=False).stdout)
    nodes, inspected = count(tree["tree"])
    median = statistics.median(times) * 1000
    print(f"program: {args.program}, depth {args.depth}, {args.rounds} rounds")
    print(f"median {median:.1f} ms, best {min(times) * 1000:.1f} ms, {nodes} nodes, {inspected} libraries inspected, "
          f"{median / max(inspected, 1):.2f} ms per inspected library")
    return 0


if __name__ == "__main__":
    sys.exit(main())
