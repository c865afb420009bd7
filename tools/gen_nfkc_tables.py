#!/usr/bin/env python3
"""Generates source/pb/pb_unicode_nfkc_data.inc, the Unicode 3.2 tables of
the runtime's NFKC normalisation, from the Unicode 3.2 character database.

    python3 tools/gen_nfkc_tables.py UnicodeData-3.2.0.txt \\
        CompositionExclusions-3.2.0.txt > source/pb/pb_unicode_nfkc_data.inc

Reads the decompositions and canonical combining classes of
UnicodeData-3.2.0.txt and the exclusions of CompositionExclusions-3.2.0.txt.
Stops on any line it does not understand and checks the counts it expects.
Hangul syllables are left to the algorithm of the normaliser; the tables only
mark them and the conjoining jamo.

Output, looked up through two stages (the code point's block of 128 in
stage 1, its slot in stage 2, an index into the records):
  - a record per distinct property set: combining class, flags (its own
    NFKC form; a boundary; decomposes; a Hangul syllable; combines with a
    predecessor; decomposes into starters that combine with nothing), the
    offset and length of the full compatibility decomposition in the pool;
  - the decomposition pool: each entry is a code point in bits 0-20, its
    combining class in bits 21-28 and bit 29 set when it can combine with a
    preceding character;
  - the composition pairs in an open-addressed hash table keyed by the
    first and second character (compose_hash, mirrored by the normaliser),
    probed linearly; a slot with first character 0 is empty.
"""

import re
import sys

EXPECTED_LINES = 13874
EXPECTED_RANGES = 10
EXPECTED_CANONICAL = 1926
EXPECTED_COMPAT = 3217
EXPECTED_EXCLUSIONS = 81
EXPECTED_PAIRS = 917
EXPECTED_NONZERO_CCC = 327

DECOMPOSITION_TAGS = {
    "circle", "compat", "final", "font", "fraction", "initial", "isolated",
    "medial", "narrow", "noBreak", "small", "square", "sub", "super",
    "vertical", "wide",
}

# Conjoining jamo and syllables (Hangul by algorithm).
S_BASE, L_BASE, V_BASE, T_BASE = 0xAC00, 0x1100, 0x1161, 0x11A7
L_COUNT, V_COUNT, T_COUNT = 19, 21, 28
S_COUNT = L_COUNT * V_COUNT * T_COUNT

# Stage 1 covers the code points below LIMIT; everything above (planes 3
# to 16) has no decomposition, class 0 and composes with nothing.
SHIFT = 7
LIMIT = 0x30000

# The composition hash table has 1 << COMPOSE_BITS slots.
COMPOSE_BITS = 11


def compose_hash(first, second):
    """The home slot of a pair; the normaliser computes the same."""
    mixed = ((first * 0x9E3779B1) ^ (second * 0x85EBCA6B)) & 0xFFFFFFFF
    return mixed >> (32 - COMPOSE_BITS)

FLAG_YES = 0x01          # its own NFKC form, and does not combine with a predecessor
FLAG_BOUNDARY = 0x02     # class 0, decomposes to a starter that combines with
                         # nothing before it: normalisation never reaches back
                         # across its start
FLAG_DECOMPOSES = 0x04   # has a decomposition in the pool
FLAG_HANGUL_S = 0x08     # a precomposed Hangul syllable
FLAG_COMBINES_BACK = 0x10  # second character of some composition
FLAG_STARTERS = 0x20     # a boundary that decomposes (not by the Hangul
                         # algorithm) into class-0 code points none of which
                         # combines with a predecessor: the decomposition is
                         # its NFKC form, whatever precedes it

HEX = re.compile(r"^[0-9A-F]{4,6}$")
DECOMPOSITION = re.compile(r"^(?:<([A-Za-z]+)> )?([0-9A-F]{4,6}(?: [0-9A-F]{4,6})*)$")
RANGE_NAME = re.compile(r"^<([A-Za-z0-9 ]+), (First|Last)>$")


def fail(path, number, line, why):
    sys.exit(f"{path}:{number}: {why}: {line!r}")


def read_unicode_data(path):
    ccc = {}
    decompositions = {}  # code point -> (is_compat, [code points])
    ranges = []
    lines = 0
    pending_first = None
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            lines += 1
            fields = line.split(";")
            if len(fields) != 15:
                fail(path, number, line, "expected 15 fields")
            if not HEX.match(fields[0]):
                fail(path, number, line, "bad code point")
            cp = int(fields[0], 16)
            if cp > 0x10FFFF:
                fail(path, number, line, "code point out of range")
            if not re.match(r"^\d{1,3}$", fields[3]) or int(fields[3]) > 254:
                fail(path, number, line, "bad combining class")
            klass = int(fields[3])
            range_match = RANGE_NAME.match(fields[1])
            if range_match:
                if fields[5] or klass:
                    fail(path, number, line, "a range with a decomposition or class")
                if range_match.group(2) == "First":
                    if pending_first is not None:
                        fail(path, number, line, "range start without end")
                    pending_first = (cp, range_match.group(1))
                else:
                    if pending_first is None or pending_first[1] != range_match.group(1):
                        fail(path, number, line, "range end without start")
                    ranges.append((pending_first[0], cp))
                    pending_first = None
                continue
            if pending_first is not None:
                fail(path, number, line, "range start without end")
            if cp in ccc:
                fail(path, number, line, "duplicate code point")
            ccc[cp] = klass
            if fields[5]:
                m = DECOMPOSITION.match(fields[5])
                if not m:
                    fail(path, number, line, "bad decomposition")
                tag = m.group(1)
                if tag is not None and tag not in DECOMPOSITION_TAGS:
                    fail(path, number, line, "unknown decomposition tag")
                decompositions[cp] = (tag is not None, [int(x, 16) for x in m.group(2).split()])
    if lines != EXPECTED_LINES:
        sys.exit(f"{path}: {lines} lines, expected {EXPECTED_LINES}")
    if len(ranges) != EXPECTED_RANGES:
        sys.exit(f"{path}: {len(ranges)} ranges, expected {EXPECTED_RANGES}")
    if (S_BASE, S_BASE + S_COUNT - 1) not in ranges:
        sys.exit(f"{path}: the Hangul syllable range is not U+AC00..U+D7A3")
    return ccc, decompositions, ranges


def read_exclusions(path):
    exclusions = set()
    with open(path, encoding="ascii") as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            m = re.match(r"^([0-9A-F]{4,6}) +# ", line)
            if not m:
                fail(path, number, line, "expected a code point and a comment")
            cp = int(m.group(1), 16)
            if cp in exclusions:
                fail(path, number, line, "duplicate exclusion")
            exclusions.add(cp)
    if len(exclusions) != EXPECTED_EXCLUSIONS:
        sys.exit(f"{path}: {len(exclusions)} exclusions, expected {EXPECTED_EXCLUSIONS}")
    return exclusions


def full_decomposition(cp, decompositions):
    """The full compatibility decomposition (recursive), not yet reordered."""
    if cp not in decompositions:
        return [cp]
    out = []
    for part in decompositions[cp][1]:
        out.extend(full_decomposition(part, decompositions))
    return out


def canonical_order(chars, ccc):
    """Stable sort of each run of non-starters by combining class."""
    out = list(chars)
    i = 0
    while i < len(out):
        if ccc.get(out[i], 0) == 0:
            i += 1
            continue
        end = i
        while end < len(out) and ccc.get(out[end], 0) != 0:
            end += 1
        out[i:end] = sorted(out[i:end], key=lambda c: ccc.get(c, 0))
        i = end
    return out


def compose_all(chars, ccc, composite_of):
    """Canonical composition of a decomposed, ordered sequence."""
    out = list(chars)
    if not out:
        return out
    starter = 0 if ccc.get(out[0], 0) == 0 else None
    last = 0 if starter == 0 else 256
    result = [out[0]]
    for c in out[1:]:
        klass = ccc.get(c, 0)
        if starter is not None and (last < klass or last == 0):
            first = result[starter]
            composite = composite_of.get((first, c))
            if composite is None and L_BASE <= first < L_BASE + L_COUNT and \
                    V_BASE <= c < V_BASE + V_COUNT:
                composite = S_BASE + ((first - L_BASE) * V_COUNT + c - V_BASE) * T_COUNT
            if composite is None and S_BASE <= first < S_BASE + S_COUNT and \
                    (first - S_BASE) % T_COUNT == 0 and T_BASE < c < T_BASE + T_COUNT:
                composite = first + c - T_BASE
            if composite is not None:
                result[starter] = composite
                continue
        if klass == 0:
            starter = len(result)
        last = klass
        result.append(c)
    return result


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: gen_nfkc_tables.py UnicodeData-3.2.0.txt CompositionExclusions-3.2.0.txt")
    ccc, decompositions, ranges = read_unicode_data(sys.argv[1])
    exclusions = read_exclusions(sys.argv[2])

    canonical = sum(1 for compat, _ in decompositions.values() if not compat)
    compat = len(decompositions) - canonical
    if canonical != EXPECTED_CANONICAL or compat != EXPECTED_COMPAT:
        sys.exit(f"{canonical} canonical and {compat} compatibility decompositions, "
                 f"expected {EXPECTED_CANONICAL} and {EXPECTED_COMPAT}")
    nonzero = sum(1 for k in ccc.values() if k)
    if nonzero != EXPECTED_NONZERO_CCC:
        sys.exit(f"{nonzero} code points with a non-zero class, expected {EXPECTED_NONZERO_CCC}")
    for cp in exclusions:
        if cp not in decompositions or decompositions[cp][0]:
            sys.exit(f"exclusion U+{cp:04X} has no canonical decomposition")
    for cp, (_, parts) in decompositions.items():
        for part in parts:
            if part not in ccc and not any(lo <= part <= hi for lo, hi in ranges):
                sys.exit(f"U+{cp:04X} decomposes to U+{part:04X}, which is not assigned")

    # Primary composites: canonical pairs, not excluded, not starting with a
    # non-starter (singletons have one part and never compose).
    pairs = {}
    for cp, (is_compat, parts) in sorted(decompositions.items()):
        if is_compat or len(parts) != 2 or cp in exclusions or ccc[parts[0]] != 0:
            continue
        pairs.setdefault(parts[0], []).append((parts[1], cp))
    pair_count = sum(len(v) for v in pairs.values())
    if pair_count != EXPECTED_PAIRS:
        sys.exit(f"{pair_count} composition pairs, expected {EXPECTED_PAIRS}")
    seconds = {second for lst in pairs.values() for second, _ in lst}
    for cp in list(seconds) + list(pairs):
        if cp > 0x1FFFFF or cp >= LIMIT:
            sys.exit(f"U+{cp:04X} composes but lies above the tables")

    combines_back = set(seconds) | set(range(V_BASE, V_BASE + V_COUNT)) | \
        set(range(T_BASE + 1, T_BASE + T_COUNT))
    composite_of = {(first, second): composite
                    for first, lst in pairs.items() for second, composite in lst}

    pool = []
    pool_index = {}
    records = [(0, FLAG_YES | FLAG_BOUNDARY, 0, 0)]
    record_index = {records[0]: 0}
    slots = [0] * LIMIT
    max_decomposition = 0
    max_pairs = max(len(v) for v in pairs.values())

    def pool_entry(cp):
        return cp | (ccc.get(cp, 0) << 21) | ((1 << 29) if cp in combines_back else 0)

    candidates = set(ccc) | combines_back | {S_BASE + i for i in range(0, S_COUNT)}
    for cp in sorted(candidates):
        if cp >= LIMIT:
            if ccc.get(cp, 0) or cp in decompositions:
                sys.exit(f"U+{cp:04X} has properties above the tables")
            continue
        klass = ccc.get(cp, 0)
        flags = 0
        decomposition_offset = decomposition_length = 0
        if cp in decompositions:
            flags |= FLAG_DECOMPOSES
            full = full_decomposition(cp, decompositions)
            key = tuple(full)
            if key not in pool_index:
                pool_index[key] = len(pool)
                pool.extend(pool_entry(x) for x in full)
            decomposition_offset = pool_index[key]
            decomposition_length = len(full)
            max_decomposition = max(max_decomposition, decomposition_length)
        if S_BASE <= cp < S_BASE + S_COUNT:
            flags |= FLAG_HANGUL_S
        if cp in combines_back:
            flags |= FLAG_COMBINES_BACK
        full = full_decomposition(cp, decompositions)
        if cp not in combines_back:
            if not (flags & FLAG_DECOMPOSES) or \
                    compose_all(canonical_order(full, ccc), ccc, composite_of) == [cp]:
                flags |= FLAG_YES
            if klass == 0 and ccc.get(full[0], 0) == 0 and full[0] not in combines_back:
                flags |= FLAG_BOUNDARY
                if flags & FLAG_DECOMPOSES and not flags & FLAG_HANGUL_S and \
                        all(ccc.get(x, 0) == 0 and x not in combines_back for x in full):
                    flags |= FLAG_STARTERS
        record = (klass, flags, decomposition_length, decomposition_offset)
        if record not in record_index:
            record_index[record] = len(records)
            records.append(record)
        slots[cp] = record_index[record]

    if len(records) > 0xFFFF or len(pool) > 0xFFFF:
        sys.exit("a table outgrew its 16-bit index")
    if max_decomposition > 255 or max_pairs > 255:
        sys.exit("a decomposition or pair list outgrew its 8-bit length")
    plain = FLAG_YES | FLAG_BOUNDARY
    for cp in range(0x80):
        klass, flags = records[slots[cp]][:2]
        if klass or flags & plain != plain:
            sys.exit(f"U+{cp:04X} is not plain; the ASCII fast path is wrong")

    compose_table = [(0, 0, 0)] * (1 << COMPOSE_BITS)
    longest_probe = 0
    for (first, second), composite in sorted(composite_of.items()):
        slot = compose_hash(first, second)
        probe = 1
        while compose_table[slot][0]:
            slot = (slot + 1) & ((1 << COMPOSE_BITS) - 1)
            probe += 1
        compose_table[slot] = (first, second, composite)
        longest_probe = max(longest_probe, probe)
    if len(composite_of) * 2 > len(compose_table):
        sys.exit("the composition hash table is more than half full")

    blocks = []
    block_index = {}
    stage1 = []
    block_size = 1 << SHIFT
    for start in range(0, LIMIT, block_size):
        block = tuple(slots[start:start + block_size])
        if block not in block_index:
            block_index[block] = len(blocks)
            blocks.append(block)
        stage1.append(block_index[block])
    stage1_type = "std::uint8_t" if len(blocks) <= 256 else "std::uint16_t"

    out = []
    w = out.append
    w("// Generated by tools/gen_nfkc_tables.py from UnicodeData-3.2.0.txt and")
    w("// CompositionExclusions-3.2.0.txt; do not edit. Regenerate with:")
    w("//   python3 tools/gen_nfkc_tables.py UnicodeData-3.2.0.txt")
    w("//       CompositionExclusions-3.2.0.txt > source/pb/pb_unicode_nfkc_data.inc")
    w("// (one command; the files are in the reference data).")
    w(f"// {canonical} canonical and {compat} compatibility decompositions, "
      f"{len(exclusions)} exclusions,")
    w(f"// {pair_count} composition pairs; {len(records)} records, {len(blocks)} blocks "
      f"of {block_size}, pool of {len(pool)},")
    w(f"// longest decomposition {max_decomposition}, most pairs of one first "
      f"character {max_pairs}.")
    w("")
    w(f"constexpr unsigned kNfkcShift = {SHIFT};")
    w(f"constexpr std::uint32_t kNfkcLimit = 0x{LIMIT:X};")
    w(f"constexpr unsigned kNfkcLongestDecomposition = {max_decomposition};")
    w("")
    w(f"constexpr std::uint8_t kNfkcFlagYes = 0x{FLAG_YES:02X};")
    w(f"constexpr std::uint8_t kNfkcFlagBoundary = 0x{FLAG_BOUNDARY:02X};")
    w(f"constexpr std::uint8_t kNfkcFlagDecomposes = 0x{FLAG_DECOMPOSES:02X};")
    w(f"constexpr std::uint8_t kNfkcFlagHangulSyllable = 0x{FLAG_HANGUL_S:02X};")
    w(f"constexpr std::uint8_t kNfkcFlagCombinesBack = 0x{FLAG_COMBINES_BACK:02X};")
    w(f"constexpr std::uint8_t kNfkcFlagStarters = 0x{FLAG_STARTERS:02X};")
    w("")
    w("// Pool entries: code point, combining class, combines with a predecessor.")
    w("constexpr std::uint32_t kNfkcPoolCharMask = 0x1FFFFF;")
    w("constexpr unsigned kNfkcPoolCccShift = 21;")
    w("constexpr std::uint32_t kNfkcPoolCombinesBack = 1u << 29;")
    w("")
    w("// Combining class, flags, decomposition length, decomposition offset.")
    w(f"constexpr NfkcRecord kNfkcRecords[{len(records)}] = {{")
    for r in records:
        w("    {{ {}, 0x{:02X}, {}, {} }},".format(*r))
    w("};")
    w("")
    w(f"constexpr {stage1_type} kNfkcStage1[{len(stage1)}] = {{")
    for i in range(0, len(stage1), 16):
        w("    " + ", ".join(str(x) for x in stage1[i:i + 16]) + ",")
    w("};")
    w("")
    w(f"constexpr std::uint16_t kNfkcStage2[{len(blocks) * block_size}] = {{")
    for n, block in enumerate(blocks):
        w(f"    // block {n}")
        for i in range(0, block_size, 16):
            w("    " + ", ".join(str(x) for x in block[i:i + 16]) + ",")
    w("};")
    w("")
    w(f"constexpr std::uint32_t kNfkcPool[{len(pool)}] = {{")
    for i in range(0, len(pool), 8):
        w("    " + ", ".join(f"0x{x:08X}" for x in pool[i:i + 8]) + ",")
    w("};")
    w("")
    w(f"// First character, second character, composite; {len(composite_of)} pairs in")
    w(f"// {len(compose_table)} slots, found in at most {longest_probe} probes.")
    w(f"constexpr unsigned kNfkcComposeBits = {COMPOSE_BITS};")
    w(f"constexpr NfkcComposition kNfkcCompose[{len(compose_table)}] = {{")
    for first, second, composite in compose_table:
        w(f"    {{ 0x{first:04X}, 0x{second:04X}, 0x{composite:04X} }},")
    w("};")
    sys.stdout.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
