#!/usr/bin/python3
"""Cross-check corvane-dump against pefile, an independent PE parser.

    crosscheck.py --dump PATH/corvane-dump FILE_OR_DIR...

Every file under the arguments (directories are searched recursively) that
starts with "MZ" and that pefile accepts as a PE image is dumped on its own
with `corvane-dump --json FILE`, and the tree it prints is compared with the
tree that pefile's reading of the same file calls for: the Stats lines in
order, the named exports in name-table order, and per imported library the
set of its functions (Corvane sorts libraries and functions by a locale
collation, so only their membership is compared).

One line is printed per failing file, then one "note:" line per kind of known
difference that came into play, then "N passed, N failed". The exit status is
0 when every file passed, 1 when any failed, 2 when no PE file was found or
the arguments were wrong.

Known differences between pefile and Corvane, each handled where its name
appears in the code below and counted in a note line:

ordinal-named imports
    pefile replaces the ordinal of an import from a DLL whose ordinal table it
    ships (ws2_32, wsock32, oleaut32) with the name it looks up. Corvane shows
    what the file holds, so those imports are compared by pefile's raw
    ordinal (imp.import_by_ordinal / imp.ordinal).
section offset rounding
    pefile rounds a section's PointerToRawData down to a multiple of 512 when
    FileAlignment is 512 or more, as the Windows loader does; Corvane
    translates RVAs with the raw value. A file with such a section is parsed a
    second time with the rounding turned off, the comparison uses that parse,
    and the files on which the two parses disagree are named.
pefile limits
    pefile stops after 0x2000 exports or imports and cuts names at 512 bytes.
    The limits are raised far beyond any real file; files that would have hit
    the stock limits are counted.
empty import name
    An import by name whose name is empty ends that library's list in
    Corvane; pefile skips the entry and goes on.
section lookup
    Corvane maps an RVA through the first section in table order whose file
    data covers it, and reads a directory that starts below SizeOfHeaders at
    the file offset equal to its RVA. pefile picks sections by VirtualSize,
    clips them at the next section, rounds their addresses and falls back on
    the file offset equal to any RVA outside them. The expectation uses
    Corvane's lookup; where pefile would read other bytes its own lists are
    not held against the walk, and its version lines are not compared.
where Corvane finds no bytes
    Names and tables at RVAs outside every section's file data, past the end
    of the file, or without a NUL before the end of the file are skipped.
strings pefile cuts short
    pefile ends a string at the end of its section's file data (and at its
    length limit); Corvane reads on to the NUL wherever it lies in the file.
import descriptor with Name 0
    Corvane's descriptor list ends there; pefile's ends only at an all-zero
    descriptor.
thunk tables pefile rejects
    pefile reads both thunk tables with heuristics of its own (entries that
    point back into the table, ordinals with bits 16-30 set, repeated or
    far-flung addresses end or void a table) and uses the import address
    table when the lookup table came out empty. Corvane walks
    OriginalFirstThunk whenever it is set, up to its zero entry, and shows
    the low 16 bits of an ordinal. pefile's view is read through
    pefile.get_import_table itself.
libraries pefile leaves out
    pefile drops a descriptor when it finds no import in it, when its name
    is empty, or when one of its names cannot be read; Corvane shows the
    library (an empty name included) with what it can read, possibly
    nothing.
ordinal 0
    pefile drops an import by ordinal 0; Corvane shows "     0 (ordinal)".
names pefile rejects
    pefile drops import names with characters outside its set for mangled
    names, ends the exports at the first such name, and calls such a DLL
    name "*invalid*"; Corvane shows the bytes it finds.
exports pefile drops
    pefile skips a named export whose address is 0, drops all exports when a
    name-ordinal lies past the address table, and gives up after repeated
    entries; Corvane lists every name of the name table with its raw
    name-ordinal.
version blocks
    Corvane requires the root block's wValueLength to hold a whole
    VS_FIXEDFILEINFO and its wLength to reach past it; pefile does not.
    pefile requires the key "VS_VERSION_INFO", Corvane does not: when pefile
    refuses a version resource the version lines are not compared.
unknown optional header magic
    pefile reads such an image's directories as PE32 ones; Corvane cannot
    tell where they are and shows no exports, imports or version.
Kb on 32 bits
    Corvane computes Kb as (bytes + 512) >> 10 in 32-bit arithmetic, so sizes
    within 512 bytes of 4 GiB wrap; the expectation does the same.
names that are not UTF-8
    corvane-dump decodes names with the locale's 8-bit codec; where a name is
    not valid UTF-8, each run of non-ASCII characters compares as one "?".

The expectation for exports and imports comes from a walk over the file's
tables with Corvane's lookup, recording per entry what pefile makes of it.
The walk is checked against pefile's own lists; when the two disagree in a
way no rule explains, the file fails: that is a difference nobody has
explained yet, and the expectation for the file is in doubt.
"""

import argparse
import collections
import concurrent.futures
import contextlib
import json
import os
import re
import struct
import subprocess
import sys

import pefile

ICON_FILE = 0
ICON_LIBRARY = 1
ICON_EXPORTS = 3
ICON_EXPORT = 4
ICON_IMPORT = 5
ICON_STATS = 6
ICON_STATS_VALUE = 7
ICON_VERSION_VALUE = 8

STOCK_SYMBOL_LIMIT = 0x2000
STOCK_NAME_LIMIT = 0x200
# Big enough for any real table, small enough that pefile's per-name slice of
# the section stays cheap on files with tens of thousands of names.
RAISED_SYMBOL_LIMIT = 1 << 30
RAISED_NAME_LIMIT = 1 << 16

DIRECTORY_EXPORT = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]
DIRECTORY_IMPORT = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]
DIRECTORY_RESOURCE = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]

FLAG_WORDS = ((0x20, "SpecialBuild"), (0x08, "PrivateBuild"), (0x02, "PreRelease"),
              (0x04, "Patched"), (0x10, "InfoInferred"), (0x01, "Debug"))
FILE_TYPES = {0: "Unknown", 1: "Application", 2: "Dynamic Link Library",
              3: "Device Driver", 4: "Font", 5: "Virtual Device Driver",
              7: "Static Link Library"}
FIXED_FILE_INFO_SIZE = 52

# Note kinds, in the order their summary lines are printed.
ORDINAL_NAMED = "ordinal-named imports (compared by raw ordinal)"
ROUNDING_PRESENT = "section offset rounding: files with a section pefile rounds"
ROUNDING_AFFECTED = "section offset rounding: files pefile reads differently (compared unrounded)"
STOCK_LIMITS = "pefile limits: files past pefile's stock limits (raised here)"
EMPTY_IMPORT_NAME = "empty import name ends the library's list"
NAME_ZERO_DESCRIPTOR = "import descriptor with Name 0 ends Corvane's list"
LIBRARY_WITHOUT_FUNCTIONS = "library pefile leaves out for finding no imports in it"
EMPTY_LIBRARY_NAME = "library with an empty name pefile skips"
DROPPED_LIBRARY = "library pefile drops over one unreadable name"
ORDINAL_ZERO = "ordinal 0 import pefile drops"
REJECTED_NAMES = "names pefile rejects"
DROPPED_EXPORTS = "exports pefile drops"
NO_BYTES = "names or tables where Corvane finds no bytes (skipped)"
SECTION_LOOKUP = "section lookup: RVAs pefile reads elsewhere (Corvane's lookup used)"
VERSION_ELSEWHERE = "version resource pefile reads elsewhere (version lines not compared)"
LONG_STRINGS = "strings pefile cuts short"
VERSION_TOO_SHORT = "version block too short for Corvane (no version lines)"
VERSION_REFUSED = "version block pefile does not read where Corvane does (version lines not compared)"
ODD_MAGIC = "unknown optional header magic (no directories read)"
KB_WRAP = "Kb computed on 32 bits wraps"
NOT_UTF8 = "names that are not UTF-8 (compared folded)"
DUMP_ERRORS = "corvane-dump reported errors (tree still compared)"
WALK_DISAGREES = "pefile and the table walk disagree (failed: expectation in doubt)"
NOTE_ORDER = (ORDINAL_NAMED, ROUNDING_PRESENT, ROUNDING_AFFECTED, STOCK_LIMITS,
              EMPTY_IMPORT_NAME, NAME_ZERO_DESCRIPTOR, LIBRARY_WITHOUT_FUNCTIONS,
              EMPTY_LIBRARY_NAME, DROPPED_LIBRARY, ORDINAL_ZERO, REJECTED_NAMES,
              DROPPED_EXPORTS, NO_BYTES, SECTION_LOOKUP, LONG_STRINGS, VERSION_TOO_SHORT,
              VERSION_REFUSED, VERSION_ELSEWHERE, ODD_MAGIC, KB_WRAP, NOT_UTF8,
              DUMP_ERRORS, WALK_DISAGREES)


def raise_pefile_limits():
    # pefile limits: these module globals are read at call time. The export
    # count limit is also a constructor argument, passed in parse_pe.
    pefile.MAX_IMPORT_SYMBOLS = RAISED_SYMBOL_LIMIT
    pefile.MAX_SYMBOL_EXPORT_COUNT = RAISED_SYMBOL_LIMIT
    pefile.MAX_IMPORT_NAME_LENGTH = RAISED_NAME_LIMIT
    pefile.MAX_SYMBOL_NAME_LENGTH = RAISED_NAME_LIMIT
    pefile.MAX_DLL_LENGTH = RAISED_NAME_LIMIT
    pefile.MAX_RESOURCE_ENTRIES = RAISED_SYMBOL_LIMIT
    pefile.MAX_SECTIONS = 0x10000


@contextlib.contextmanager
def unrounded_file_offsets():
    """Section offset rounding: makes pefile use PointerToRawData as is."""
    saved = pefile.cache_adjust_FileAlignment
    pefile.cache_adjust_FileAlignment = lambda value, file_alignment: value
    try:
        yield
    finally:
        pefile.cache_adjust_FileAlignment = saved


def parse_pe(path):
    pe = pefile.PE(path, fast_load=True, max_symbol_exports=RAISED_SYMBOL_LIMIT,
                   max_repeated_symbol=RAISED_SYMBOL_LIMIT)
    pe.parse_data_directories(directories=[DIRECTORY_EXPORT, DIRECTORY_IMPORT,
                                           DIRECTORY_RESOURCE])
    return pe


def is_pe_file(path):
    try:
        with open(path, "rb") as f:
            if f.read(2) != b"MZ":
                return False
        pefile.PE(path, fast_load=True).close()
        return True
    except (OSError, pefile.PEFormatError):
        return False


def find_pe_files(arguments):
    found = []
    for argument in arguments:
        if os.path.isdir(argument):
            for directory, subdirectories, files in os.walk(argument):
                subdirectories.sort()
                for name in sorted(files):
                    path = os.path.join(directory, name)
                    if os.path.isfile(path) and is_pe_file(path):
                        found.append(path)
        elif os.path.isfile(argument):
            if is_pe_file(argument):
                found.append(argument)
        else:
            raise FileNotFoundError(argument)
    return found


def to_text(raw):
    return raw.decode("utf-8", errors="replace")


def is_utf8(raw):
    try:
        raw.decode("utf-8")
        return True
    except UnicodeDecodeError:
        return False


def fold(text):
    """`text` with each run of non-ASCII characters as one "?".

    Decoders differ in how many replacement characters a bad sequence
    becomes, so only the ASCII around it is held to account.
    """
    return re.sub("[^\x00-\x7f]+", "?", text)


def ordinal_text(ordinal):
    return "%6u (ordinal)" % (ordinal & 0xFFFF)


def kb(size):
    # Kb on 32 bits: the same wrap as Corvane's 32-bit sum.
    return ((size + 512) & 0xFFFFFFFF) >> 10


class Image:
    """Reads a pefile-parsed image the way Corvane locates bytes.

    Section lookup: Corvane maps an RVA through the first section in table
    order whose file data (VirtualAddress to VirtualAddress + SizeOfRawData)
    covers it, with the header values as they are. pefile picks the section
    by VirtualSize, clips it at the next section, rounds its addresses and
    falls back on the file offset equal to the RVA. The expectation follows
    Corvane's lookup over the section table as the file holds it; where
    pefile would have read elsewhere the file is noted, and pefile's own
    lists are not held against the walk since they were read elsewhere.
    """

    def __init__(self, pe, notes):
        self.pe = pe
        self.data = pe.__data__
        self.size = len(self.data)
        self.notes = notes
        self.pe32plus = pe.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS
        self.lookup_differs = False
        self.sections = []
        nt_headers = pe.DOS_HEADER.e_lfanew
        count = self.read(nt_headers + 6, "<H") or 0
        optional_size = self.read(nt_headers + 20, "<H") or 0
        table = nt_headers + 24 + optional_size
        for index in range(count):
            header = table + 40 * index
            if header + 40 > self.size:
                break
            address, raw_size, raw_pointer = struct.unpack_from("<3I", self.data, header + 12)
            if raw_size:
                self.sections.append((address, address + raw_size, raw_pointer))

    @contextlib.contextmanager
    def quiet(self):
        """Reads made for pefile's view only: no notes, no lookup verdicts."""
        notes, differs = self.notes, self.lookup_differs
        self.notes = set()
        try:
            yield
        finally:
            self.notes, self.lookup_differs = notes, differs

    def pefile_offset(self, rva):
        """Where pefile reads `rva` from, or None where it reads nothing."""
        section = self.pe.get_section_by_rva(rva)
        if section is None:
            return rva if rva < self.size else None
        start = section.get_VirtualAddress_adj()
        if rva - start >= section.SizeOfRawData:
            return None
        return rva - start + section.get_PointerToRawData_adj()

    def offset(self, rva, record=True):
        """File offset of `rva` as Corvane translates it, or None."""
        found = None
        for start, end, raw_pointer in self.sections:
            if start <= rva < end:
                found = rva - start + raw_pointer
                break
        if found is not None and found >= self.size:
            found = None
        if record and found != self.pefile_offset(rva):
            self.notes.add(SECTION_LOOKUP)
            self.lookup_differs = True
        return found

    def directory_offset(self, index):
        directories = self.pe.OPTIONAL_HEADER.DATA_DIRECTORY
        if index >= len(directories) or index >= self.pe.OPTIONAL_HEADER.NumberOfRvaAndSizes:
            return None
        # Only the address says whether a directory is there; Corvane reads
        # one whose Size is 0 all the same.
        entry = directories[index]
        if entry.VirtualAddress == 0:
            return None
        return self.directory_rva_offset(entry.VirtualAddress)

    def directory_rva_offset(self, rva):
        """File offset of a directory that starts at `rva`, as Corvane finds it."""
        if rva >= self.pe.OPTIONAL_HEADER.SizeOfHeaders:
            return self.offset(rva)
        # Section lookup: Corvane takes a directory below SizeOfHeaders to
        # lie in the headers, at the file offset equal to its RVA, even when
        # a lying SizeOfHeaders reaches over the sections.
        if rva != self.pefile_offset(rva):
            self.notes.add(SECTION_LOOKUP)
            self.lookup_differs = True
        return rva if rva < self.size else None

    def read(self, offset, fmt):
        width = struct.calcsize(fmt)
        if offset is None or offset + width > self.size:
            return None
        return struct.unpack_from(fmt, self.data, offset)[0]

    def string(self, rva):
        """(Corvane's bytes or None, pefile's bytes) for the string at `rva`."""
        by_pefile = self.pe.get_string_at_rva(rva, RAISED_NAME_LIMIT)
        by_pefile = None if by_pefile is None else bytes(by_pefile)
        offset = self.offset(rva)
        if offset is None:
            self.notes.add(NO_BYTES)
            return None, by_pefile
        end = self.data.find(b"\0", offset)
        if end < 0:
            # No NUL before the end of the file: not a string to Corvane.
            self.notes.add(NO_BYTES)
            return None, by_pefile
        name = bytes(self.data[offset:end])
        if name != by_pefile and offset == self.pefile_offset(rva):
            self.notes.add(LONG_STRINGS)
        return name, by_pefile


ExportEntry = collections.namedtuple("ExportEntry", "name pefile_name name_ordinal")


def walk_exports(image):
    """Every entry of the name table up to the first unreadable one."""
    directory = image.directory_offset(DIRECTORY_EXPORT)
    if directory is None:
        return []
    count = image.read(directory + 0x18, "<I")
    names_rva = image.read(directory + 0x20, "<I")
    ordinals_rva = image.read(directory + 0x24, "<I")
    if not count or names_rva is None or ordinals_rva is None:
        return []
    names = image.offset(names_rva)
    ordinals = image.offset(ordinals_rva)
    if names is None or ordinals is None:
        image.notes.add(NO_BYTES)
        return []
    entries = []
    for i in range(count):
        name_rva = image.read(names + 4 * i, "<I")
        name_ordinal = image.read(ordinals + 2 * i, "<H")
        if name_rva is None or name_ordinal is None:
            break
        name, pefile_name = image.string(name_rva)
        entries.append(ExportEntry(name, pefile_name, name_ordinal))
    return entries


def is_subsequence(short, long):
    remaining = iter(long)
    return all(any(item == candidate for candidate in remaining) for item in short)


def check_exports_against_pefile(pe, entries, notes):
    """None when pefile's named exports are the walk's, less what pefile drops."""
    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    listed = []
    if exports is not None:
        base = exports.struct.Base
        listed = [(bytes(e.name), e.ordinal - base) for e in exports.symbols
                  if e.name is not None]
    if len(listed) > STOCK_SYMBOL_LIMIT or any(len(n) > STOCK_NAME_LIMIT for n, _ in listed):
        notes.add(STOCK_LIMITS)
    walked = [(e.pefile_name, e.name_ordinal) for e in entries]
    if listed == walked:
        return None
    # Exports pefile drops: what it does list must still come in the walk's
    # order, and nothing else.
    if is_subsequence(listed, walked):
        notes.add(DROPPED_EXPORTS)
        if any(n and not pefile.is_valid_function_name(n, relax_allowed_characters=True)
               for n, _ in walked):
            notes.add(REJECTED_NAMES)
        return None
    return "exports: pefile lists %d that are not a part of the walk's %d" % (
        len(listed), len(walked))


ThunkEntry = collections.namedtuple("ThunkEntry", "ordinal name pefile_name")


def walk_thunks(image, table_rva):
    """The entries of one thunk table up to its zero entry.

    An ordinal import has `ordinal` set; an import by name has `name` set to
    Corvane's bytes (None where it finds none) and `pefile_name` to pefile's.
    """
    entries = []
    if not table_rva:
        return entries
    width, flag, fmt = (8, 1 << 63, "<Q") if image.pe32plus else (4, 1 << 31, "<I")
    offset = image.offset(table_rva)
    if offset is None:
        image.notes.add(NO_BYTES)
        return entries
    while True:
        value = image.read(offset, fmt)
        if not value:
            return entries
        if value & flag:
            entries.append(ThunkEntry(value & 0xFFFF, None, None))
        else:
            name, pefile_name = image.string((value & 0xFFFFFFFF) + 2)
            if value > 0xFFFFFFFF:
                # An RVA wider than 32 bits is beyond pefile; Corvane uses
                # the low 32 bits.
                pefile_name = None
            entries.append(ThunkEntry(None, name, pefile_name))
        offset += width


Descriptor = collections.namedtuple(
    "Descriptor", "offset name_rva name pefile_name entries pefile_entries")


def walk_import_descriptors(image):
    """The descriptors up to the all-zero one, where pefile ends the list."""
    directory = image.directory_offset(DIRECTORY_IMPORT)
    if directory is None:
        return []
    descriptors = []
    offset = directory
    rva = image.pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIRECTORY_IMPORT].VirtualAddress
    while offset + 20 <= image.size:
        original_first_thunk, _, _, name_rva, first_thunk = struct.unpack_from(
            "<5I", image.data, offset)
        if not (original_first_thunk or name_rva or first_thunk):
            break
        name, pefile_name = image.string(name_rva) if name_rva else (None, None)
        entries = walk_thunks(image, original_first_thunk or first_thunk)
        with image.quiet():
            pefile_entries = pefile_thunks(image, rva, original_first_thunk, first_thunk)
        descriptors.append(Descriptor(offset, name_rva, name, pefile_name, entries,
                                      pefile_entries))
        offset += 20
        rva += 20
    return descriptors


def pefile_thunks(image, descriptor_rva, original_first_thunk, first_thunk):
    """The entries pefile takes for one descriptor's imports.

    pefile reads the lookup table and the address table with bounds and
    heuristics of its own (a table whose entries point back into it, or an
    ordinal with bits 16-30 set, counts as none), then uses the lookup table
    unless it came out empty. Corvane keeps to OriginalFirstThunk whenever it
    is set. The tables are read through pefile itself, so its choice and its
    cut-off are the ones compared.
    """
    pe = image.pe
    try:
        max_length = image.size - pe.get_offset_from_rva(descriptor_rva)
    except pefile.PEFormatError:
        return []
    following = descriptor_rva + 20
    if following > original_first_thunk or following > first_thunk:
        max_length = max(following - original_first_thunk, following - first_thunk)
    for table_rva in (original_first_thunk, first_thunk):
        table = pe.get_import_table(table_rva, max_length)
        if table:
            return walk_thunks(image, table_rva)[:len(table)]
    return []


def expected_imports(descriptors, notes):
    """{library bytes: set of function texts or bytes} by Corvane's rules."""
    libraries = {}
    for index, descriptor in enumerate(descriptors):
        if descriptor.name_rva == 0:
            # Import descriptor with Name 0: Corvane's list ends here.
            if index + 1 < len(descriptors):
                notes.add(NAME_ZERO_DESCRIPTOR)
            break
        if descriptor.name is None:
            continue
        functions = libraries.setdefault(descriptor.name, set())
        for position, entry in enumerate(descriptor.entries):
            if entry.ordinal is not None:
                functions.add(ordinal_text(entry.ordinal))
            elif entry.name == b"":
                # Empty import name: the rest of this table is not shown.
                if position + 1 < len(descriptor.entries):
                    notes.add(EMPTY_IMPORT_NAME)
                break
            elif entry.name is not None:
                functions.add(entry.name)
    return libraries


def pefile_view(entries, notes):
    """The function texts pefile reports for `entries`, by its own rules."""
    texts = set()
    for entry in entries:
        if entry.ordinal is not None:
            if entry.ordinal == 0:
                notes.add(ORDINAL_ZERO)
            else:
                texts.add(ordinal_text(entry.ordinal))
        elif entry.pefile_name:
            if pefile.is_valid_function_name(entry.pefile_name):
                texts.add(entry.pefile_name)
            else:
                notes.add(REJECTED_NAMES)
    return texts


def check_imports_against_pefile(pe, descriptors, notes):
    """None when pefile's imports are the walk's, less what pefile drops."""
    listed = {}
    total = 0
    for library in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        texts = set()
        for imp in library.imports:
            if imp.import_by_ordinal:
                if imp.name:
                    # Ordinal-named imports: pefile looked the name up in its
                    # own table; the file holds only the ordinal.
                    notes.add(ORDINAL_NAMED)
                texts.add(ordinal_text(imp.ordinal))
            else:
                texts.add(bytes(imp.name))
        total += len(library.imports)
        listed[library.struct.get_file_offset()] = (bytes(library.dll), texts)
    if total > STOCK_SYMBOL_LIMIT:
        notes.add(STOCK_LIMITS)

    problems = []
    for descriptor in descriptors:
        pefile_listing = listed.pop(descriptor.offset, None)
        if descriptor.name is None:
            # Corvane leaves the library out, whatever pefile made of it.
            continue
        walked = pefile_view(descriptor.pefile_entries, notes)
        unreadable = any(e.ordinal is None and (e.name is None or e.pefile_name is None)
                         for e in descriptor.pefile_entries)
        if pefile_listing is None:
            if descriptor.pefile_name == b"":
                # pefile skips a descriptor whose name is empty; Corvane shows
                # it under its empty name.
                notes.add(EMPTY_LIBRARY_NAME)
            elif not walked:
                # Library without functions: pefile drops the descriptor.
                notes.add(LIBRARY_WITHOUT_FUNCTIONS)
            elif unreadable:
                # pefile gives up on a whole table over one name it cannot
                # read.
                notes.add(DROPPED_LIBRARY)
            else:
                problems.append("library %r: pefile leaves out %d imports"
                                % (descriptor.name, len(walked)))
            continue
        dll, texts = pefile_listing
        if dll != descriptor.pefile_name:
            if dll == b"*invalid*":
                notes.add(REJECTED_NAMES)
            else:
                problems.append("library name at 0x%x: pefile %r, the walk %r"
                                % (descriptor.offset, dll, descriptor.pefile_name))
        # pefile reads names where Corvane finds no bytes, so with such
        # entries it may list more than the walk, never less.
        if texts != walked and not (unreadable and walked <= texts):
            problems.append("library %r: pefile only %s, the walk only %s"
                            % (descriptor.name, sorted(map(str, texts - walked))[:5],
                               sorted(map(str, walked - texts))[:5]))
    for offset, (dll, _) in sorted(listed.items()):
        problems.append("library %r at 0x%x: pefile only" % (dll, offset))
    return "; ".join(problems) or None


def corvane_version_block(image, root):
    """File offset of the version block Corvane reads, or None for none.

    Corvane looks for type 16 among the ID entries of the root, which follow
    its named ones, then takes the first entry of the name level and of the
    language level. pefile goes by the flag in each entry across both counts
    and skips entries it cannot parse, so the two can pick different blocks.
    """
    named = image.read(root + 12, "<H")
    ids = image.read(root + 14, "<H")
    if named is None or ids is None:
        return None
    target = None
    for index in range(ids):
        entry = root + 16 + 8 * (named + index)
        name = image.read(entry, "<I")
        target = image.read(entry + 4, "<I")
        if name is None or target is None:
            return None
        if name == pefile.RESOURCE_TYPE["RT_VERSION"]:
            break
        target = None
    for want_directory in (True, True, False):
        if target is None or bool(target & 0x80000000) != want_directory:
            return None
        if not want_directory:
            break
        directory = root + (target & 0x7FFFFFFF)
        named = image.read(directory + 12, "<H")
        ids = image.read(directory + 14, "<H")
        if named is None or ids is None or named + ids == 0:
            return None
        target = image.read(directory + 20, "<I")
    data_rva = image.read(root + target, "<I")
    if data_rva is None or image.read(root + target + 4, "<I") is None:
        return None
    return image.offset(data_rva, record=False)


def expected_version_lines(pe, image, notes):
    """The version lines, or None when they are not to be compared."""
    root = image.directory_offset(DIRECTORY_RESOURCE)
    if root is None:
        return []
    if root != image.pefile_offset(pe.OPTIONAL_HEADER.DATA_DIRECTORY[DIRECTORY_RESOURCE].VirtualAddress):
        # Section lookup: pefile reads the resources from other bytes than
        # Corvane, so its version lines say nothing about Corvane's.
        notes.add(VERSION_ELSEWHERE)
        return None
    block = corvane_version_block(image, root)
    if block is None:
        return []
    info = next((i for i in getattr(pe, "VS_VERSIONINFO", []) if i.get_file_offset() == block), None)
    if info is None:
        # Version blocks: pefile parsed no block where Corvane reads one
        # (refused its key, or picked another entry), so it cannot say what
        # Corvane should show.
        notes.add(VERSION_REFUSED)
        return None
    value_offset = (6 + 2 * (len(info.Key) + 1) + 3) & ~3
    if info.ValueLength < FIXED_FILE_INFO_SIZE or info.Length < value_offset + FIXED_FILE_INFO_SIZE:
        # Version blocks: Corvane wants the header to account for the whole
        # VS_FIXEDFILEINFO.
        notes.add(VERSION_TOO_SHORT)
        return []
    fixed = next((f for f in getattr(pe, "VS_FIXEDFILEINFO", [])
                  if f.get_file_offset() == block + value_offset), None)
    if fixed is None:
        notes.add(VERSION_REFUSED)
        return None

    def version(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    lines = [("Version: " + version(fixed.FileVersionMS, fixed.FileVersionLS), ICON_VERSION_VALUE),
             ("Product Version: " + version(fixed.ProductVersionMS, fixed.ProductVersionLS),
              ICON_VERSION_VALUE)]
    flags = fixed.FileFlags & fixed.FileFlagsMask
    if flags:
        lines.append(("Flags:" + "".join(" " + word for bit, word in FLAG_WORDS if flags & bit),
                      ICON_VERSION_VALUE))
    if fixed.FileType in FILE_TYPES:
        lines.append(("Type: " + FILE_TYPES[fixed.FileType], ICON_VERSION_VALUE))
    return lines


def expected_stats(pe, notes):
    header = pe.OPTIONAL_HEADER
    if pe.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS:
        base = "Image Base Addr: 0x%016X" % header.ImageBase
    else:
        base = "Image Base Addr: 0x%08X" % (header.ImageBase & 0xFFFFFFFF)
    code = header.SizeOfCode
    data = (header.SizeOfInitializedData + header.SizeOfUninitializedData) & 0xFFFFFFFF
    for size in (code, data):
        if size + 512 > 0xFFFFFFFF:
            notes.add(KB_WRAP)
    return [(base, ICON_STATS_VALUE),
            ("Code:  %d Kb (%d bytes)" % (kb(code), code), ICON_STATS_VALUE),
            ("Data:  %d Kb (%d bytes)" % (kb(data), data), ICON_STATS_VALUE)]


class Expected:
    """What the dump of one file should show, from one pefile parse."""

    def __init__(self, pe):
        self.notes = set()
        self.doubts = []
        image = Image(pe, self.notes)
        self.stats = expected_stats(pe, self.notes)
        if pe.OPTIONAL_HEADER.Magic not in (pefile.OPTIONAL_HEADER_MAGIC_PE,
                                            pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS):
            # Unknown optional header magic: pefile reads the directories as
            # PE32 ones; Corvane cannot know where they are and shows none.
            self.notes.add(ODD_MAGIC)
            self.version, self.exports, self.libraries, self.folded = [], [], {}, False
            return
        self.version = expected_version_lines(pe, image, self.notes)

        exports = walk_exports(image)
        self.doubts.append(check_exports_against_pefile(pe, exports, self.notes))
        self.exports = ["%s (%d)" % (to_text(e.name), e.name_ordinal)
                        for e in exports if e.name is not None]

        descriptors = walk_import_descriptors(image)
        self.doubts.append(check_imports_against_pefile(pe, descriptors, self.notes))
        raw = expected_imports(descriptors, self.notes)
        # pefile's lists come from other bytes when its section lookup
        # differs, so they cannot vouch for the walk then.
        self.doubts = [d for d in self.doubts if d and not image.lookup_differs]
        if self.doubts:
            self.notes.add(WALK_DISAGREES)

        self.folded = not all(is_utf8(n) for n in raw) or any(
            isinstance(f, bytes) and not is_utf8(f) for fs in raw.values() for f in fs) or any(
            e.name is not None and not is_utf8(e.name) for e in exports)
        if self.folded:
            self.notes.add(NOT_UTF8)
        # Libraries whose names decode to the same text share one node in
        # Corvane, so their functions are pooled here too.
        self.libraries = collections.defaultdict(set)
        for name, functions in raw.items():
            self.libraries[to_text(name)].update(
                f if isinstance(f, str) else to_text(f) for f in functions)

    def key(self):
        """Everything a comparison looks at, to tell two parses apart."""
        return (self.stats, self.version, self.exports,
                sorted((n, sorted(fs)) for n, fs in self.libraries.items()))


def build_expectation(path):
    """The Expected for one file, from the pefile parse that reads it as Corvane does."""
    pe = parse_pe(path)
    extra = set()
    rounded = pe.OPTIONAL_HEADER.FileAlignment >= pefile.FILE_ALIGNMENT_HARDCODED_VALUE and any(
        s.PointerToRawData % pefile.FILE_ALIGNMENT_HARDCODED_VALUE for s in pe.sections)
    if not rounded:
        expected = Expected(pe)
        pe.close()
        return expected
    # Section offset rounding: the file is read again with raw offsets, as
    # Corvane reads it, and that reading is the one compared.
    extra.add(ROUNDING_PRESENT)
    stock = Expected(pe)
    pe.close()
    with unrounded_file_offsets():
        pe = parse_pe(path)
        expected = Expected(pe)
        pe.close()
    if stock.key() != expected.key():
        extra.add(ROUNDING_AFFECTED)
    expected.notes |= extra
    return expected


def node_summary(node):
    return "%r (icon %s)" % (node.get("text"), node.get("icon"))


def few(items, limit=5):
    items = sorted(items)
    shown = ", ".join(repr(i) for i in items[:limit])
    return shown + (" ... (%d in all)" % len(items) if len(items) > limit else "")


def line_diff(got, want):
    """The first place two lists of (text, icon) lines part."""
    for index, (a, b) in enumerate(zip(got, want)):
        if a != b:
            return "line %d is %r (icon %s), expected %r (icon %s)" % (index + 1, a[0], a[1], b[0], b[1])
    if len(got) > len(want):
        return "unexpected line %r" % (got[len(want)][0],)
    return "missing line %r" % (want[len(got)][0],)


def set_diff(what, missing, extra):
    parts = []
    if missing:
        parts.append("missing " + few(missing))
    if extra:
        parts.append("unexpected " + few(extra))
    return "%s: %s" % (what, "; ".join(parts))


def compare(path, dump, expected):
    """The differences between a dump's JSON object and the expectation."""
    diffs = []
    tree = dump.get("tree")
    if not isinstance(tree, list) or len(tree) != 1:
        return ["expected one root, got %s" % (len(tree) if isinstance(tree, list) else tree)]
    status = dump.get("status")
    if not (isinstance(status, list) and len(status) == 4 and all(isinstance(s, str) for s in status)):
        diffs.append("status is not 4 texts: %r" % (status,))
    root = tree[0]
    if root.get("text") != path or root.get("icon") != ICON_FILE:
        diffs.append("root is %s, expected %r (icon %d)" % (node_summary(root), path, ICON_FILE))
    children = list(root.get("children", []))

    text_of = fold if expected.folded else (lambda t: t)

    if not children or children[0].get("text") != "Stats" or children[0].get("icon") != ICON_STATS:
        diffs.append("first child is not Stats (icon 6): %s"
                     % (node_summary(children[0]) if children else "no children"))
    else:
        stats = children.pop(0)
        got = [(n.get("text"), n.get("icon")) for n in stats.get("children", [])]
        if any(n.get("children") for n in stats.get("children", [])):
            diffs.append("Stats lines have children")
        want = expected.stats + (expected.version or [])
        if expected.version is None:
            # Version blocks pefile refuses: only the size lines are compared.
            got = got[:3] + [line for line in got[3:] if line[1] != ICON_VERSION_VALUE]
        if got != want:
            diffs.append("Stats: %s" % line_diff(got, want))

    if children and children[0].get("icon") == ICON_EXPORTS and children[0].get("text") == "Exported APIs":
        exports = children.pop(0)
        got = [text_of(n.get("text")) for n in exports.get("children", [])]
        want = [text_of(t) for t in expected.exports]
        if any(n.get("icon") != ICON_EXPORT or n.get("children") for n in exports.get("children", [])):
            diffs.append("an export node is not a leaf with icon %d" % ICON_EXPORT)
        if not want:
            diffs.append("Exported APIs shown with %d entries, expected none" % len(got))
        elif got != want:
            missing = collections.Counter(want) - collections.Counter(got)
            extra = collections.Counter(got) - collections.Counter(want)
            if missing or extra:
                diffs.append(set_diff("exports", missing, extra))
            else:
                first = next(i for i, (a, b) in enumerate(zip(got, want)) if a != b)
                diffs.append("exports out of name-table order from #%d: %r, expected %r"
                             % (first, got[first], want[first]))
    elif expected.exports:
        diffs.append("no Exported APIs node, expected %d exports" % len(expected.exports))

    libraries = collections.defaultdict(list)
    for node in children:
        if node.get("icon") != ICON_LIBRARY:
            diffs.append("unexpected root child %s" % node_summary(node))
            continue
        libraries[text_of(node.get("text"))].append(node)
    want_libraries = collections.defaultdict(set)
    for name, functions in expected.libraries.items():
        want_libraries[text_of(name)].update(text_of(f) for f in functions)
    # Repeats are judged on the exact texts: folding may well bring two
    # different names together.
    shown = collections.Counter(node.get("text") for nodes in libraries.values() for node in nodes)
    repeated = [name for name, count in shown.items() if count > 1]
    if repeated:
        diffs.append("libraries shown more than once: %s" % few(repeated))
    missing = set(want_libraries) - set(libraries)
    extra = set(libraries) - set(want_libraries)
    if missing or extra:
        diffs.append(set_diff("libraries", missing, extra))
    for name in sorted(set(libraries) & set(want_libraries)):
        nodes = [child for node in libraries[name] for child in node.get("children", [])]
        if any(n.get("icon") != ICON_IMPORT or n.get("children") for n in nodes):
            diffs.append("%s: a function node is not a leaf with icon %d" % (name, ICON_IMPORT))
        for node in libraries[name]:
            texts = collections.Counter(n.get("text") for n in node.get("children", []))
            twice = [t for t, count in texts.items() if count > 1]
            if twice:
                diffs.append("%s: functions shown more than once: %s" % (name, few(twice)))
        got = {text_of(n.get("text")) for n in nodes}
        missing = want_libraries[name] - got
        extra = got - want_libraries[name]
        if missing or extra:
            diffs.append(set_diff(name + " functions", missing, extra))
    return diffs


def run_dump(dump, path, timeout):
    """(JSON object, None) or (None, what went wrong)."""
    try:
        result = subprocess.run([dump, "--json", path], capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return None, "corvane-dump did not finish within %d s" % timeout
    except OSError as error:
        return None, "corvane-dump could not be run: %s" % error
    if result.returncode != 0:
        tail = result.stderr.decode("utf-8", "replace").strip().splitlines()[-1:]
        return None, "corvane-dump exited with %d%s" % (
            result.returncode, ": " + tail[0] if tail else "")
    try:
        return json.loads(result.stdout), None
    except ValueError as error:
        return None, "corvane-dump printed no JSON object: %s" % error


def judge(path, expected, dump, problem):
    """The reasons one file fails, from its dump (or the problem running it)."""
    diffs = [problem] if problem else compare(path, dump, expected)
    if dump and dump.get("errors"):
        expected.notes.add(DUMP_ERRORS)
        if diffs:
            diffs.append("corvane-dump errors: %s" % "; ".join(
                str(e.get("message")) for e in dump["errors"]))
    # A disagreement between pefile and the walk that no rule explains is a
    # difference of its own, whatever the dump shows.
    diffs.extend("pefile and the table walk disagree: %s" % d for d in expected.doubts)
    return diffs


def main(argv):
    parser = argparse.ArgumentParser(
        description="Compare corvane-dump's trees with pefile's reading of the same files.")
    parser.add_argument("--dump", required=True, help="path of the corvane-dump program")
    parser.add_argument("--timeout", type=int, default=120,
                        help="seconds one corvane-dump run may take (default 120)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1,
                        help="corvane-dump runs at a time")
    parser.add_argument("paths", nargs="+", metavar="FILE_OR_DIR")
    args = parser.parse_args(argv)

    raise_pefile_limits()
    try:
        files = find_pe_files(args.paths)
    except FileNotFoundError as error:
        print("no such file or directory: %s" % error, file=sys.stderr)
        return 2
    if not files:
        print("no PE files found under %s" % " ".join(args.paths), file=sys.stderr)
        return 2

    noted = collections.defaultdict(list)
    passed = failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        runs = {path: pool.submit(run_dump, args.dump, path, args.timeout) for path in files}
        # pefile runs here, on this thread only: the rounding switch is a
        # module-wide patch.
        for path in files:
            expected = build_expectation(path)
            dump, problem = runs[path].result()
            diffs = judge(path, expected, dump, problem)
            for kind in expected.notes:
                noted[kind].append(path)
            if diffs:
                failed += 1
                print("FAIL %s: %s" % (path, "; ".join(diffs)))
            else:
                passed += 1

    for kind in NOTE_ORDER:
        paths = noted.get(kind)
        if paths:
            print("note: %s: %d file%s: %s" % (kind, len(paths), "" if len(paths) == 1 else "s",
                                               few(paths, 10)))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
