#!/usr/bin/env python3
"""Generates source/rfc/stringprep/rfc_stringprep_tables.h from the published
data tables of RFC 3454.

Usage:
    tools/gen_stringprep_tables.py RFC3454_TABLES OUTPUT_HEADER

RFC3454_TABLES is the text of the RFC's tables ("----- Start Table X -----"
... "----- End Table X -----"). The script stops on any line it does not
understand and checks the sizes the RFC's tables are known to have before it
writes anything, so a damaged or different input cannot produce a table.

It emits, as C++ constexpr data:
  * every set table (A.1, C.1.1 to C.9, D.1, D.2) as sorted, merged ranges;
  * B.1 as ranges, B.2 and B.3 as sorted keys with their images in a pool;
  * a two-stage property table over all code points (one byte of flags per
    code point, blocks of 128 shared between equal blocks) that the profiles
    use to test every set in one look-up.
"""

import re
import sys

TABLE_NAMES = ["A.1", "B.1", "B.2", "B.3", "C.1.1", "C.1.2", "C.2.1", "C.2.2", "C.3", "C.4",
               "C.5", "C.6", "C.7", "C.8", "C.9", "D.1", "D.2"]

START = re.compile(r"^\s*----- Start Table (\S+) -----\s*$")
END = re.compile(r"^\s*----- End Table (\S+) -----\s*$")
# "0221", "0234-024F", optionally followed by "; NAME" (C tables).
SET_ROW = re.compile(r"^\s*([0-9A-F]{4,6})(?:-([0-9A-F]{4,6}))?(?:;\s*(.*))?$")
# "00AD; ; Map to nothing", "0130; 0069 0307; Case map"
MAP_ROW = re.compile(r"^\s*([0-9A-F]{4,6});\s*((?:[0-9A-F]{4,6}\s*)*);\s*(Map to nothing|Case map|Additional folding)\s*$")


def fail(message):
    sys.stderr.write("gen_stringprep_tables: " + message + "\n")
    sys.exit(1)


def parse(path):
    """Returns {name: list of (line number, first, last)} for set tables and
    {name: list of (line number, key, [image])} for mapping tables."""
    tables = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            m = START.match(line)
            if m:
                if current is not None:
                    fail("line %d: table %s starts inside %s" % (number, m.group(1), current))
                current = m.group(1)
                if current not in TABLE_NAMES or current in tables:
                    fail("line %d: unexpected table %s" % (number, current))
                tables[current] = []
                continue
            m = END.match(line)
            if m:
                if m.group(1) != current:
                    fail("line %d: end of %s inside %s" % (number, m.group(1), current))
                current = None
                continue
            if current is None:
                continue  # the licence text around the tables
            if current.startswith("B."):
                m = MAP_ROW.match(line)
                if not m:
                    fail("line %d: not a mapping row: %r" % (number, line))
                image = [int(x, 16) for x in m.group(2).split()]
                tables[current].append((number, int(m.group(1), 16), image))
            else:
                m = SET_ROW.match(line)
                if not m:
                    fail("line %d: not a set row: %r" % (number, line))
                first = int(m.group(1), 16)
                last = int(m.group(2), 16) if m.group(2) else first
                if last < first or last > 0x10FFFF:
                    fail("line %d: bad range" % number)
                tables[current].append((number, first, last))
    if current is not None:
        fail("table %s does not end" % current)
    missing = [n for n in TABLE_NAMES if n not in tables]
    if missing:
        fail("missing tables: " + ", ".join(missing))
    return tables


def merged(rows):
    """Sorted, merged, non-overlapping ranges of a set table."""
    spans = sorted((first, last) for _, first, last in rows)
    out = []
    for first, last in spans:
        if out and first <= out[-1][1]:
            fail("overlapping ranges at %04X" % first)
        if out and first == out[-1][1] + 1:
            out[-1] = (out[-1][0], last)
        else:
            out.append((first, last))
    return out


def size(ranges):
    return sum(last - first + 1 for first, last in ranges)


def check(condition, message):
    if not condition:
        fail("check failed: " + message)


def check_counts(sets, maps):
    # The sizes of the RFC's tables, so that a changed input is noticed.
    expected = {
        "A.1": (879309, 396), "C.1.1": (1, None), "C.1.2": (17, None), "C.2.1": (33, None),
        "C.2.2": (62, None), "C.3": (137468, 3), "C.4": (66, None), "C.5": (2048, 1),
        "C.6": (5, 1), "C.7": (12, 1), "C.8": (15, None), "C.9": (97, 2),
        "D.1": (1044, 34), "D.2": (229973, 360), "B.1": (27, None),
    }
    for name, (points, ranges) in expected.items():
        got = sets[name]
        check(size(got) == points, "%s has %d code points, expected %d" % (name, size(got), points))
        if ranges is not None:
            check(len(got) == ranges, "%s has %d ranges, expected %d" % (name, len(got), ranges))
    b2, b3 = maps["B.2"], maps["B.3"]
    check(len(b2) == 1371, "B.2 has %d keys" % len(b2))
    check(len(b3) == 838, "B.3 has %d keys" % len(b3))
    check(min(b2) == 0x41 and max(b2) == 0x1D7BB, "B.2 key range")
    check(min(b3) == 0x41 and max(b3) == 0x10425, "B.3 key range")
    lengths = lambda m: sorted((n, sum(1 for v in m.values() if len(v) == n)) for n in range(0, 5))
    check(lengths(b2) == [(0, 0), (1, 1210), (2, 133), (3, 27), (4, 1)], "B.2 image lengths %r" % lengths(b2))
    check(lengths(b3) == [(0, 0), (1, 735), (2, 87), (3, 16), (4, 0)], "B.3 image lengths %r" % lengths(b3))
    for key, image in b3.items():
        check(b2.get(key) == image, "B.3 key %04X differs in B.2" % key)
    check(len(set(b2) - set(b3)) == 533, "B.2 has 533 keys beyond B.3")


def map_table(rows, name):
    table = {}
    for number, key, image in rows:
        if key in table:
            fail("line %d: %s key %04X repeated" % (number, name, key))
        table[key] = image
    return table


# Bits of the property byte; mirrored by the enum in the generated header.
PROPERTY_BITS = [
    ("Unassigned", ["A.1"]),
    ("RandAL", ["D.1"]),
    ("L", ["D.2"]),
    ("ProhibitedCommon", ["C.2.2", "C.3", "C.4", "C.5", "C.6", "C.8", "C.9"]),
    ("SpaceNonAscii", ["C.1.2"]),
    ("Canonical", ["C.7"]),
    ("MapToNothing", ["B.1"]),
    ("CaseFoldNfkc", ["B.2"]),
]
BLOCK_SHIFT = 7
BLOCK = 1 << BLOCK_SHIFT


def property_table(sets, maps):
    props = bytearray(0x110000)
    for bit, (_, tables) in enumerate(PROPERTY_BITS):
        for table in tables:
            if table == "B.2":
                for key in maps["B.2"]:
                    props[key] |= 1 << bit
                continue
            for first, last in sets[table]:
                for c in range(first, last + 1):
                    if c >= 0x80 or table in ("A.1", "D.1", "D.2", "B.1"):
                        props[c] |= 1 << bit
    blocks = []
    index = {}
    stage1 = []
    for start in range(0, 0x110000, BLOCK):
        block = bytes(props[start:start + BLOCK])
        if block not in index:
            index[block] = len(blocks)
            blocks.append(block)
        stage1.append(index[block])
    check(len(blocks) < 65536, "too many blocks")
    return stage1, blocks


def hexs(c):
    return "0x%04X" % c


def emit_ranges(out, symbol, ranges, comment):
    out.append("// %s: %d code points in %d ranges." % (comment, size(ranges), len(ranges)))
    out.append("inline constexpr Range %s[] = {" % symbol)
    for i in range(0, len(ranges), 4):
        out.append("    " + " ".join("{ %s, %s }," % (hexs(a), hexs(b)) for a, b in ranges[i:i + 4]))
    out.append("};")
    out.append("")


def emit_mapping(out, prefix, table, comment):
    keys = sorted(table)
    pool = []
    starts = []
    for key in keys:
        starts.append(len(pool))
        pool.extend(table[key])
    starts.append(len(pool))
    out.append("// %s: %d keys; the image of key i is pool[start[i]] up to pool[start[i + 1]]." % (comment, len(keys)))
    out.append("inline constexpr std::uint32_t %sKeys[] = {" % prefix)
    for i in range(0, len(keys), 8):
        out.append("    " + " ".join("%s," % hexs(k) for k in keys[i:i + 8]))
    out.append("};")
    out.append("inline constexpr std::uint16_t %sStart[] = {" % prefix)
    for i in range(0, len(starts), 12):
        out.append("    " + " ".join("%d," % s for s in starts[i:i + 12]))
    out.append("};")
    out.append("inline constexpr std::uint32_t %sPool[] = {" % prefix)
    for i in range(0, len(pool), 8):
        out.append("    " + " ".join("%s," % hexs(c) for c in pool[i:i + 8]))
    out.append("};")
    out.append("")


def main():
    if len(sys.argv) != 3:
        fail("usage: gen_stringprep_tables.py RFC3454_TABLES OUTPUT_HEADER")
    tables = parse(sys.argv[1])
    sets = {name: merged(rows) for name, rows in tables.items() if not name.startswith("B.")}
    maps = {name: map_table(rows, name) for name, rows in tables.items() if name.startswith("B.")}
    for number, key, image in tables["B.1"]:
        if image:
            fail("line %d: B.1 maps to something" % number)
    sets["B.1"] = merged([(n, k, k) for n, k, _ in tables["B.1"]])
    check_counts(sets, maps)
    stage1, blocks = property_table(sets, maps)

    out = []
    out.append("// Generated by tools/gen_stringprep_tables.py from the data tables of RFC 3454:")
    out.append("//     tools/gen_stringprep_tables.py rfc3454-tables.txt source/rfc/stringprep/rfc_stringprep_tables.h")
    out.append("// Do not edit; change the generator and run it again.")
    out.append("#ifndef RFC_STRINGPREP_TABLES_H")
    out.append("#define RFC_STRINGPREP_TABLES_H")
    out.append("")
    out.append("#include <cstdint>")
    out.append("")
    out.append("namespace rfc::stringprep {")
    out.append("")
    out.append("// An inclusive range of code points.")
    out.append("struct Range {")
    out.append("    std::uint32_t first;")
    out.append("    std::uint32_t last;")
    out.append("};")
    out.append("")
    titles = {
        "A.1": "A.1, unassigned in Unicode 3.2",
        "B.1": "B.1, commonly mapped to nothing",
        "C.1.1": "C.1.1, ASCII space characters",
        "C.1.2": "C.1.2, non-ASCII space characters",
        "C.2.1": "C.2.1, ASCII control characters",
        "C.2.2": "C.2.2, non-ASCII control characters",
        "C.3": "C.3, private use",
        "C.4": "C.4, non-character code points",
        "C.5": "C.5, surrogate codes",
        "C.6": "C.6, inappropriate for plain text",
        "C.7": "C.7, inappropriate for canonical representation",
        "C.8": "C.8, change display properties or deprecated",
        "C.9": "C.9, tagging characters",
        "D.1": "D.1, bidirectional category R or AL",
        "D.2": "D.2, bidirectional category L",
    }
    for name in ["A.1", "B.1", "C.1.1", "C.1.2", "C.2.1", "C.2.2", "C.3", "C.4", "C.5", "C.6",
                 "C.7", "C.8", "C.9", "D.1", "D.2"]:
        symbol = "kTable" + name.replace(".", "_")
        emit_ranges(out, symbol, sets[name], "Table " + titles[name])
    emit_mapping(out, "kTableB_2", maps["B.2"], "Table B.2, case folding used with NFKC")
    emit_mapping(out, "kTableB_3", maps["B.3"], "Table B.3, case folding used with no normalization")

    out.append("// The property byte of a code point: one bit per set the profiles test.")
    out.append("// Bits for the C tables are set only outside ASCII; the ASCII rows of")
    out.append("// C.1.1 and C.2.1 are tested by the profiles directly.")
    out.append("enum Property : std::uint8_t {")
    for bit, (name, sources) in enumerate(PROPERTY_BITS):
        out.append("    kProp%s = 1u << %d, // %s" % (name, bit, ", ".join(sources)))
    out.append("};")
    out.append("")
    out.append("inline constexpr int kPropertyBlockShift = %d;" % BLOCK_SHIFT)
    out.append("// Stage 1: for each block of %d code points, the index of its block in stage 2." % BLOCK)
    out.append("inline constexpr std::uint16_t kPropertyStage1[%d] = {" % len(stage1))
    for i in range(0, len(stage1), 16):
        out.append("    " + " ".join("%d," % s for s in stage1[i:i + 16]))
    out.append("};")
    out.append("// Stage 2: %d distinct blocks of property bytes." % len(blocks))
    out.append("inline constexpr std::uint8_t kPropertyStage2[%d] = {" % (len(blocks) * BLOCK))
    for b in blocks:
        for i in range(0, BLOCK, 32):
            out.append("    " + "".join("%d," % v for v in b[i:i + 32]))
    out.append("};")
    out.append("")
    out.append("} // namespace rfc::stringprep")
    out.append("")
    out.append("#endif")
    with open(sys.argv[2], "w", encoding="utf-8") as f:
        f.write("\n".join(out) + "\n")
    sys.stderr.write("gen_stringprep_tables: %d property blocks, %d bytes\n"
                     % (len(blocks), len(blocks) * BLOCK + 2 * len(stage1)))


if __name__ == "__main__":
    main()
