#!/usr/bin/env bash
# Streaming: inputs of several times the tool's 1 MiB reads, fed through a
# pipe in random pieces, give exactly the one-call library result (from
# rfc_oneshot) for each codec and a spread of options; a 200 MB encode and
# decode, and 50 MB inputs built against each stream's holding rules, stay
# within a few MiB of memory (peak resident size of the child, from
# getrusage).
. "$(dirname "$0")/lib.sh"

# Copies standard input to standard output in random pieces of 1 byte to
# 3 MiB, flushing each, so that the reader sees reads of every size.
chunked() {
    python3 -c '
import os, random, sys
random.seed(int(sys.argv[1]))
data = sys.stdin.buffer.read()
i = 0
while i < len(data):
    n = random.choice([1, 7, 4096, 65536, 1 << 20, 3 << 20, random.randint(1, 200000)])
    os.write(1, data[i:i + n])
    i += n
' "$1"
}

head -c 5000000 /dev/urandom > "$work/random"
# Text with every line break kind and white space at line ends.
python3 -c '
import random, sys
random.seed(7)
parts = [b"plain text ", b"caf\xc3\xa9 ", b"= ", b"tab\t", b"trailing  \n", b"crlf\r\n", b"\n", b"x" * 90, b"\x00\x01"]
sys.stdout.buffer.write(b"".join(random.choice(parts) for _ in range(400000)))
' > "$work/text"
"$ONESHOT" base 3 encode 0 1 76 < "$work/random" > "$work/b64"
"$ONESHOT" qp encode 5 1 76 0 < "$work/text" > "$work/qp"

export -f chunked
chunked_run() {
    local seed=$1 input=$2
    shift 2
    chunked "$seed" < "$input" | "$@" | md5sum
}
export -f chunked_run

compare() {
    local name=$1 seed=$2 input=$3 oneshot=$4
    shift 4
    # The rows are inputs the library accepts: a refusal would compare
    # nothing.
    if ! $oneshot < "$input" > "$work/want" 2>/dev/null; then
        failed=$((failed + 1))
        echo "FAILED: $name: the one-call function refuses the input"
    fi
    expect "$name" 0 "$(md5sum < "$work/want")" -- bash -c "chunked_run $seed '$input' $*"
}

compare "base64 encode" 1 "$work/random" "$ONESHOT base 3 encode 2 1 76" "$RFC" base64
compare "base32 -n -w 0" 2 "$work/random" "$ONESHOT base 1 encode 1 1 0" "$RFC" base32 -n -w 0
compare "base16 crlf wrap 7" 3 "$work/random" "$ONESHOT base 0 encode 2 4 7" "$RFC" base16 --newline crlf -w 7
compare "base64url no final newline" 4 "$work/random" "$ONESHOT base 4 encode 0 1 76" "$RFC" base64url --no-final-newline
compare "base64 decode" 5 "$work/b64" "$ONESHOT base 3 decode 4" "$RFC" base64 -d
compare "base64 decode of text, every leniency" 6 "$work/text" "$ONESHOT base 3 decode 508" "$RFC" base64 -d -i --ignore-padding --accept-invalid-padding --accept-invalid-length --accept-invalid-pad-bits
compare "base16 decode -i of text" 7 "$work/text" "$ONESHOT base 0 decode 28" "$RFC" base16 -d -i
compare "qp encode" 8 "$work/text" "$ONESHOT qp encode 5 1 76 0" "$RFC" qp
compare "qp encode crlf 10 trailing" 9 "$work/text" "$ONESHOT qp encode 5 4 10 1" "$RFC" qp --crlf -l 10 --trailing-nlf
compare "qp encode no line length" 10 "$work/text" "$ONESHOT qp encode 5 1 -1 0" "$RFC" qp --no-line-length
compare "qp encode binary" 11 "$work/random" "$ONESHOT qp encode 5 1 76 0" "$RFC" qp
compare "qp decode" 12 "$work/qp" "$ONESHOT qp decode 5 1 -1 0" "$RFC" qp -d
compare "qp decode crlf limit" 13 "$work/qp" "$ONESHOT qp decode 5 4 76 0" "$RFC" qp -d --crlf --max-line-length 76
compare "qp decode of raw text, lenient" 14 "$work/text" "$ONESHOT qp decode 5 1 -1 28" "$RFC" qp -d --accept-invalid --ignore-control --ignore-non-ascii

# crc and stringprep read in pieces too: the CRC of the random bytes against
# Python's zlib, and nodeprep of ASCII lines (CR LF and LF, lines across
# every read boundary) against tr, which folds case as nodeprep does there.
expect "crc in pieces" 0 "$(python3 -c "import sys, zlib; print('%08X' % zlib.crc32(open(sys.argv[1], 'rb').read()))" "$work/random")  -" -- \
    bash -c "chunked 21 < '$work/random' | '$RFC' crc"
python3 -c '
import random, sys
random.seed(9)
words = ["Alpha", "beta", "GAMMA", "d3lta", "x", "Node.Name", "UPPER-lower_09"]
out = []
for i in range(600000):
    out.append(random.choice(words) + random.choice(["\n", "\r\n"]))
sys.stdout.write("".join(out))
' > "$work/lines"
expect "stringprep nodeprep line by line in pieces" 0 "$(tr -d '\r' < "$work/lines" | tr A-Z a-z | md5sum)" -- \
    bash -c "chunked 22 < '$work/lines' | '$RFC' stringprep nodeprep | md5sum"

# Output starts before the input ends: the first line comes out while the
# writer still holds the pipe open.
expect "output before the end of input" 0 "Zm9v" -- bash -c "(printf foo; sleep 5) | '$RFC' base64 | head -c 4"

# Peak memory of 200 MB through each direction, in KiB. A sanitizer's
# quarantine keeps freed memory on purpose, so a sanitized build (the test
# preset) skips this part; the release build's tests check it.
if nm -D "$RFC" 2>/dev/null | grep -q __asan_init; then
    echo "peak memory not checked: $RFC is built with AddressSanitizer"
elif [ -z "$RFC_SKIP_BIG" ]; then
    head -c 200000000 /dev/zero > "$work/big"
    for args in "base64" "qp"; do
        kib=$("$ONESHOT" peak sh -c "'$RFC' $args < '$work/big' > '$work/big.out'")
        [ "$kib" -lt 16384 ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAILED: rfc $args peak $kib KiB"; }
        kib=$("$ONESHOT" peak sh -c "'$RFC' $args -d < '$work/big.out' > /dev/null")
        [ "$kib" -lt 16384 ] && passed=$((passed + 1)) || { failed=$((failed + 1)); echo "FAILED: rfc $args -d peak $kib KiB"; }
    done
    # An open group followed by 200 MB of skipped bytes: held compacted.
    kib=$("$ONESHOT" peak sh -c "(printf Zg; cat '$work/big'; printf ==) | '$RFC' base64 -d -i > '$work/big.out'")
    [ "$kib" -lt 16384 ] && [ "$(cat "$work/big.out")" = f ] && passed=$((passed + 1)) \
        || { failed=$((failed + 1)); echo "FAILED: open group and 200 MB of skipped bytes: peak $kib KiB"; }
    rm -f "$work/big" "$work/big.out"

    # Hostile inputs of 50 MB, far beyond what each stream holds: the same
    # output as the one-call function, in bounded memory.
    bounded() {
        local name=$1 input=$2 oneshot=$3
        shift 3
        local want kib limit=${peak_limit:-16384}
        if ! $oneshot < "$input" > "$work/want"; then
            failed=$((failed + 1))
            echo "FAILED: $name: the one-call function refuses the input"
        fi
        want=$(md5sum < "$work/want")
        kib=$("$ONESHOT" peak sh -c "$* < '$input' > '$work/big.out'")
        if [ "$kib" -lt "$limit" ] && [ "$(md5sum < "$work/big.out")" = "$want" ]; then
            passed=$((passed + 1))
        else
            failed=$((failed + 1))
            echo "FAILED: $name: peak $kib KiB, output $(md5sum < "$work/big.out") (want $want)"
        fi
    }
    head -c 50000000 /dev/zero | tr '\0' ' ' > "$work/spaces"
    head -c 50000000 /dev/zero | tr '\0' 'a' > "$work/letters"
    (cat "$work/spaces"; printf '\nx') > "$work/input"
    bounded "qp -d, a 50 MB line of white space" "$work/input" "$ONESHOT qp decode 5 1 -1 0" "$RFC" qp -d
    (printf 'x'; cat "$work/spaces"; printf 'y\n') > "$work/input"
    bounded "qp -d, 50 MB of white space that is data" "$work/input" "$ONESHOT qp decode 5 1 -1 0" "$RFC" qp -d
    bounded "qp, a 50 MB line, line length 10^9" "$work/letters" "$ONESHOT qp encode 5 1 1000000000 0" "$RFC" qp -l 1000000000
    bounded "qp, a 50 MB line of spaces, line length 10^9" "$work/spaces" "$ONESHOT qp encode 5 1 1000000000 0" "$RFC" qp -l 1000000000
    (printf 'Zg'; tr ' ' '=' < "$work/spaces"; printf 'Zg==') > "$work/input"
    bounded "base64 -d, 50 MB of padding in an open group" "$work/input" "$ONESHOT base 3 decode 164" "$RFC" base64 -d --ignore-padding --accept-invalid-padding
    bounded "qp -d, a 50 MB line under --max-line-length 10^9" "$work/letters" "$ONESHOT qp decode 5 1 1000000000 0" "$RFC" qp -d --max-line-length 1000000000
    (printf x; cat "$work/spaces"; printf '=\n') > "$work/input"
    bounded "qp -d, 50 MB of white space that a soft line break at the very end keeps" "$work/input" "$ONESHOT qp decode 5 1 -1 0" "$RFC" qp -d
    (printf x; cat "$work/spaces"; printf '=') > "$work/input"
    bounded "qp -d --accept-invalid, 50 MB of white space that a last = keeps" "$work/input" "$ONESHOT qp decode 5 1 -1 4" "$RFC" qp -d --accept-invalid
    # 50 MB of alternating spaces and tabs, held until the end shows them to
    # be data (or not): their summary, an eighth of their size, goes to a
    # temporary file past 256 KiB, so the peak stays where a run of one byte
    # leaves it (holding the summary in memory would take 14 MiB).
    sed 's/  / \t/g' "$work/spaces" > "$work/alternating"
    (printf x; cat "$work/alternating"; printf '=\r\n') > "$work/input"
    peak_limit=10240 bounded "qp -d, 50 MB of alternating white space that a soft line break at the end keeps" \
        "$work/input" "$ONESHOT qp decode 5 1 -1 0" "$RFC" qp -d
    (printf x; cat "$work/alternating"; printf '\r\ny') > "$work/input"
    peak_limit=10240 bounded "qp -d, 50 MB of alternating white space that a line break removes" \
        "$work/input" "$ONESHOT qp decode 5 1 -1 0" "$RFC" qp -d
    rm -f "$work/alternating"
    sed 's/  /= /g' "$work/spaces" > "$work/input"
    bounded "qp -d --accept-invalid, 50 MB of '= '" "$work/input" "$ONESHOT qp decode 5 1 -1 4" "$RFC" qp -d --accept-invalid
    # A line that passes the limit: its bytes up to the limit, then the
    # refusal at the byte after them, in bounded memory.
    kib=$("$ONESHOT" peak sh -c "'$RFC' qp -d --max-line-length 30000000 < '$work/letters' > '$work/big.out' 2> '$work/err'")
    if [ "$kib" -lt 16384 ] && cmp -s "$work/big.out" <(head -c 30000000 "$work/letters") \
        && grep -q "offset 30000000: an input line longer than --max-line-length" "$work/err"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: qp -d, a 50 MB line past --max-line-length: peak $kib KiB, $(wc -c < "$work/big.out") bytes, $(cat "$work/err")"
    fi
    rm -f "$work/spaces" "$work/letters" "$work/input" "$work/big.out" "$work/want" "$work/err"
fi

finish
