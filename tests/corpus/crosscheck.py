#!/usr/bin/python3
"""Compares what corvane-dump shows for real PE files with python3-pefile.

    crosscheck.py --dump PATH/corvane-dump --floor N FILE_OR_DIR...

For every file under the arguments that starts with "MZ", `corvane-dump
--json FILE` is held against pefile's reading of it: the Stats lines (image
base, code and data sizes, version numbers, flags and type), the named
exports with their name-table ordinals, the imported libraries, and their
functions by name or by ordinal.

Corvane sorts the tree by a collation and shows a library imported through
several descriptors once, with each of its functions once, so exports,
libraries and (library, function) pairs are compared as sorted lists against
pefile's merged ones: an entry shown twice or not at all is a difference.
Files on which the two readings are meant to part are skipped, each with its
reason: those pefile refuses, those it reports as malformed (its notes on
packer-like sections and imports aside), and those whose build Corvane cuts
because they repeat their tables. Fewer than N files compared fails the
check, so that skips cannot hollow it out.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import subprocess
import sys

import pefile

# pefile calls a file with more than 8,192 exports or imports corrupt; real
# runtimes (libgnat) have more.
LIMIT = 1 << 30
pefile.MAX_IMPORT_SYMBOLS = LIMIT
HARMLESS_WARNINGS = ("Suspicious flags set", "typical of packed executables")
CUT = "The file repeats its tables over and over"
ICON_LIBRARY, ICON_EXPORTS, ICON_STATS = 1, 3, 6
FLAGS = ((0x20, "SpecialBuild"), (0x08, "PrivateBuild"), (0x02, "PreRelease"),
         (0x04, "Patched"), (0x10, "InfoInferred"), (0x01, "Debug"))
TYPES = {0: "Unknown", 1: "Application", 2: "Dynamic Link Library", 3: "Device Driver",
         4: "Font", 5: "Virtual Device Driver", 7: "Static Link Library"}


def text(raw):
    return bytes(raw).decode("utf-8", "replace")


def version_lines(pe):
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        return []
    info = pe.VS_FIXEDFILEINFO[0]
    lines = ["%s: %d.%d.%d.%d" % (what, ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
             for what, ms, ls in (("Version", info.FileVersionMS, info.FileVersionLS),
                                  ("Product Version", info.ProductVersionMS, info.ProductVersionLS))]
    flags = info.FileFlags & info.FileFlagsMask
    if flags:
        lines.append("Flags:" + "".join(" " + word for bit, word in FLAGS if flags & bit))
    if info.FileType in TYPES:
        lines.append("Type: " + TYPES[info.FileType])
    return lines


def expected(pe):
    """Stats lines, exports, libraries and imports, as pefile reads them."""
    header = pe.OPTIONAL_HEADER
    wide = pe.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS
    stats = ["Image Base Addr: " + ("0x%016X" if wide else "0x%08X") % header.ImageBase]
    for what, size in (("Code", header.SizeOfCode),
                       ("Data", header.SizeOfInitializedData + header.SizeOfUninitializedData)):
        stats.append("%s:  %d Kb (%d bytes)" % (what, (size + 512) >> 10, size))
    exports = []
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        base = pe.DIRECTORY_ENTRY_EXPORT.struct.Base
        exports = ["%s (%d)" % (text(e.name), e.ordinal - base)
                   for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name is not None]
    # By ordinal, pefile may fill in a name from tables of its own; the file
    # holds only the ordinal, and that is what Corvane shows.
    imports = {(text(library.dll), "%6u (ordinal)" % i.ordinal if i.import_by_ordinal else text(i.name))
               for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) for i in library.imports}
    libraries = {text(library.dll) for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    return stats + version_lines(pe), sorted(exports), sorted(libraries), sorted(imports)


def shown(root):
    """The same four from the dump's tree."""
    stats, exports, libraries, imports = [], [], [], []
    for node in root["children"]:
        texts = [child["text"] for child in node["children"]]
        if node["icon"] == ICON_STATS:
            stats = texts
        elif node["icon"] == ICON_EXPORTS:
            exports = sorted(texts)
        elif node["icon"] == ICON_LIBRARY:
            libraries.append(node["text"])
            imports += [(node["text"], function) for function in texts]
    return stats, exports, sorted(libraries), sorted(imports)


def pefile_reading(path, dump):
    """(reason to skip the file, None) or (None, pefile's reading)."""
    try:
        pe = pefile.PE(path, fast_load=True, max_symbol_exports=LIMIT)
    except pefile.PEFormatError as error:
        return "pefile refuses it: %s" % error, None
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_" + d]
                                           for d in ("EXPORT", "IMPORT", "RESOURCE")])
    warnings = [w for w in pe.get_warnings() if not any(h in w for h in HARMLESS_WARNINGS)]
    if warnings:
        return "pefile finds it malformed: %s" % warnings[0], None
    if any(CUT in error["message"] for error in dump["errors"]):
        return "Corvane cuts its build: %s" % CUT, None
    return None, pe


def differences(dump, pe):
    if len(dump["tree"]) != 1:
        return ["corvane-dump shows no tree: %s" % dump["errors"]]
    found = []
    for what, got, want in zip(("Stats", "exports", "libraries", "imports"),
                               shown(dump["tree"][0]), expected(pe)):
        if got != want:
            found.append("%s: only corvane-dump %s, only pefile %s" % (
                what, list(collections.Counter(got) - collections.Counter(want))[:5],
                list(collections.Counter(want) - collections.Counter(got))[:5]))
    return found


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dump", required=True)
    parser.add_argument("--floor", type=int, required=True, help="fewest files to compare")
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args(argv)
    files = []
    for argument in args.paths:
        if not os.path.exists(argument):
            sys.exit("no such file or directory: " + argument)
        walk = os.walk(argument) if os.path.isdir(argument) else [("", [], [argument])]
        for folder, _, names in walk:
            for path in sorted(os.path.join(folder, name) for name in names):
                with open(path, "rb") as f:
                    if f.read(2) == b"MZ":
                        files.append(path)

    def dump_of(path):
        return json.loads(subprocess.run([args.dump, "--json", path], capture_output=True).stdout)

    compared, failed, skipped = 0, 0, collections.Counter()
    with concurrent.futures.ThreadPoolExecutor() as pool:
        for path, dump in zip(files, pool.map(dump_of, files)):
            reason, pe = pefile_reading(path, dump)
            if reason:
                print("skipped %s: %s" % (path, reason))
                skipped[reason.split(":")[0]] += 1
                continue
            compared += 1
            found = differences(dump, pe)
            failed += bool(found)
            for difference in found:
                print("FAIL %s: %s" % (path, difference))
    print("%d files compared, %d failed, skipped: %s" % (compared, failed, dict(skipped)))
    if compared < args.floor:
        print("FAIL: fewer than %d files compared" % args.floor)
    return 1 if failed or compared < args.floor else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
