#!/usr/bin/env python3
"""How corvane-dump grows with the number of exports and imports, and how it
compares with objdump -p and readpe -i -e on the same files, in one run.

Generates (with corvane-make-bench-image) files of 10k, 100k and 1M named
exports, one library importing 10k, 50k and 100k functions, 5,000 libraries
of 10 functions each, and a one-export file as the baseline; adds the real
files given (by default the largest DLLs of the mingw-w64 runtimes). Every
command runs once per round on every file, the rounds interleaved so that a
noisy machine slows all of them alike; medians and bests are reported.

The second table is corvane-dump alone: time per node above the baseline
file (start-up: Qt, ICU, the mapping) and peak RSS per node above the
baseline. The RSS figure includes the pages of the mapped file it touched
and is rounded to the huge pages the heap asks for, so it is an upper bound
on the tree's memory; corvane_bench's TreeMemory counts the heap itself.

Usage: scaling.py --dump build/dump/corvane-dump
                  --make-image build/bench/corvane-make-bench-image
                  [--rounds 9] [--workdir DIR] [REAL_FILE...]
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile

import compare_dump

REAL_FILES = [
    "/usr/lib/gcc/i686-w64-mingw32/12-win32/adalib/libgnat-12.dll",
    "/usr/lib/gcc/i686-w64-mingw32/12-win32/libstdc++-6.dll",
    "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/adalib/libgnat-12.dll",
    "/usr/lib/gcc/x86_64-w64-mingw32/12-win32/libstdc++-6.dll",
]

# (name, exports, libraries, functions per library)
BASELINE = ("baseline", 1, 0, 0)
SERIES = [
    ("exports-10k", 10_000, 0, 0),
    ("exports-100k", 100_000, 0, 0),
    ("exports-1m", 1_000_000, 0, 0),
    ("imports-10k", 0, 1, 10_000),
    ("imports-50k", 0, 1, 50_000),
    ("imports-100k", 0, 1, 100_000),
    ("libraries-5000x10", 0, 5_000, 10),
]


def node_count(dump, path):
    tree = json.loads(subprocess.run([dump, "--json", path], capture_output=True, check=True).stdout)["tree"]

    def count(node):
        return 1 + sum(count(child) for child in node.get("children", []))

    return sum(count(root) for root in tree)


def label(path):
    arch = "i686" if "i686" in path else "x86_64" if "x86_64" in path else ""
    return "%s (%s)" % (os.path.basename(path), arch) if arch else os.path.basename(path).replace(".dll", "")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--make-image", required=True)
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--workdir")
    parser.add_argument("real", nargs="*")
    args = parser.parse_args()

    workdir = args.workdir or tempfile.mkdtemp(prefix="corvane-scaling-")
    os.makedirs(workdir, exist_ok=True)
    generated = {}
    for name, exports, libraries, functions in [BASELINE] + SERIES:
        path = os.path.join(workdir, name + ".dll")
        if not os.path.exists(path):
            subprocess.run([args.make_image, path, str(exports), str(libraries), str(functions)], check=True)
        generated[name] = path
    real = [path for path in (args.real or REAL_FILES) if os.path.exists(path)]
    files = real + [generated[name] for name, *_ in SERIES] + [generated[BASELINE[0]]]

    tools = compare_dump.dumpers(args.dump)
    tools.pop("corvane-dump --json", None)
    times = compare_dump.time_rounds(tools, files, args.rounds)
    medians = {key: statistics.median(samples) for key, samples in times.items()}
    peaks = {(tool, path): compare_dump.peak_kb(command + [path]) for tool, command in tools.items()
             for path in files}
    nodes = {path: node_count(args.dump, path) for path in files}

    print("Side by side (%d interleaved rounds; median and best in ms, peak RSS in MB):" % args.rounds)
    print()
    print("| file | size MB | nodes | " + " | ".join("%s median / best" % t for t in tools) +
          " | " + " | ".join("%s RSS" % t for t in tools) + " |")
    print("|---|---:|---:|" + "---:|" * (2 * len(tools)))
    for path in files:
        cells = ["%.1f / %.1f" % (medians[(t, path)] * 1000, min(times[(t, path)]) * 1000) for t in tools]
        rss = ["%.1f" % (peaks[(t, path)] / 1024) for t in tools]
        print("| %s | %.1f | %d | %s | %s |" % (label(path), os.path.getsize(path) / 2**20, nodes[path],
                                               " | ".join(cells), " | ".join(rss)))

    baseline = generated[BASELINE[0]]
    base_time = medians[("corvane-dump", baseline)]
    base_rss = peaks[("corvane-dump", baseline)]
    print()
    print("corvane-dump above the baseline file (%.1f ms, %.1f MB):" % (base_time * 1000, base_rss / 1024))
    print()
    print("| file | nodes | median ms | ns per node | RSS bytes per node (upper bound) |")
    print("|---|---:|---:|---:|---:|")
    for path in files[:-1]:
        extra_nodes = max(1, nodes[path] - nodes[baseline])
        per_node = (medians[("corvane-dump", path)] - base_time) * 1e9 / extra_nodes
        rss = (peaks[("corvane-dump", path)] - base_rss) * 1024 / extra_nodes
        print("| %s | %d | %.1f | %.0f | %.0f |" % (label(path), nodes[path],
                                                 medians[("corvane-dump", path)] * 1000, per_node, rss))
    return 0


if __name__ == "__main__":
    sys.exit(main())
