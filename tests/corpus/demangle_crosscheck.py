#!/usr/bin/python3
"""Compares the names corvane-dump --demangle shows for Itanium exports with
binutils' c++filt.

    demangle_crosscheck.py --dump PATH/corvane-dump --floor N FILE...

Each export of FILE whose raw name starts with _Z is compared, spaces
dropped, with what c++filt makes of it. LLVM's demangler writes the
standard abbreviations (std::string, std::istream, std::ostream,
std::iostream) and std::nullptr_t where c++filt spells them out, so those
are folded. Names LLVM 14 cannot decode (transaction clones, _ZGTt) or
decodes without their name (constructors and destructors of a class with an
ABI tag, which are therefore shown raw) are counted, not compared; any other
name shown raw fails, and so do fewer than N names compared.
"""

import argparse
import json
import re
import subprocess
import sys

FOLDED = (
    ("std::basic_string<char,std::char_traits<char>,std::allocator<char>>", "std::string"),
    ("std::basic_istream<char,std::char_traits<char>>", "std::istream"),
    ("std::basic_ostream<char,std::char_traits<char>>", "std::ostream"),
    ("std::basic_iostream<char,std::char_traits<char>>", "std::iostream"),
    ("decltype(nullptr)", "std::nullptr_t"),
)


LEFT_RAW = re.compile(r"_ZGTt|.*B\d+\w+?[CD][0-2]E")


def folded(text):
    text = text.replace(" ", "")
    for spelled, short in FOLDED:
        text = text.replace(spelled, short)
    return text


def exports(dump, path):
    tree = json.loads(subprocess.run([dump, "--demangle", "--json", path], check=True,
                                     capture_output=True, text=True).stdout)["tree"]
    branch = next(child for child in tree[0]["children"] if child["icon"] == 3)
    for node in branch["children"]:
        shown = node["text"][:node["text"].rindex(" (")]
        yield node.get("name", shown), shown


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--dump", required=True)
    parser.add_argument("--floor", type=int, required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    compared, undecoded, differences = 0, [], []
    for path in args.files:
        pairs = [(raw, shown) for raw, shown in exports(args.dump, path) if raw.startswith("_Z")]
        spelled = subprocess.run(["c++filt"], input="\n".join(raw for raw, _ in pairs) + "\n", check=True,
                                 capture_output=True, text=True).stdout.splitlines()
        for (raw, shown), reference in zip(pairs, spelled):
            if shown == raw:
                undecoded.append(raw)
            elif folded(shown) != folded(reference):
                differences.append("%s: %s\n  shown:    %s\n  c++filt:  %s" % (path, raw, shown, reference))
            else:
                compared += 1
    print("%d names compared, %d left raw" % (compared, len(undecoded)))
    for difference in differences + ["left raw: " + raw for raw in undecoded if not LEFT_RAW.match(raw)]:
        print(difference)
    if any(not LEFT_RAW.match(raw) for raw in undecoded):
        return 1
    return 1 if differences or compared < args.floor else 0


if __name__ == "__main__":
    sys.exit(main())
