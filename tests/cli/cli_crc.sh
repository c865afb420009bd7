#!/usr/bin/env bash
# rfc crc on standard input, files, named algorithms and models.
. "$(dirname "$0")/lib.sh"

printf 123456789 > "$work/digits"
: > "$work/empty"
head -c 1000000 /dev/zero | tr '\0' 'a' > "$work/big"

expect "default is CRC-32" 0 "CBF43926  -" -- sh -c "printf 123456789 | '$RFC' crc"
expect "files in order" 0 "CBF43926  $work/digits
00000000  $work/empty" -- "$RFC" crc "$work/digits" "$work/empty"
expect "enumerant name" 0 "E3069283  $work/digits" -- "$RFC" crc -a RFC_CRC_ALGORITHM_CRC32_C "$work/digits"
expect "published name" 0 "906E  $work/digits" -- "$RFC" crc --algorithm crc-16/ibm-sdlc "$work/digits"
expect "short name" 0 "F4  $work/digits" -- "$RFC" crc -a crc8 "$work/digits"
# CRC-64/XZ; also crosses several 64 KiB chunks on the big file.
expect "model" 0 "995DC9BBDF1939FA  $work/digits" -- "$RFC" crc -m width=64,poly=42F0E1EBA9EA3693,init=ffffffffffffffff,xorout=ffffffffffffffff,refin=true,refout=true "$work/digits"
expect "big file matches python" 0 "$(python3 -c "import zlib; print('%08X' % zlib.crc32(b'a' * 1000000))")  $work/big" -- "$RFC" crc "$work/big"
expect "list has every check value" 0 "19" -- sh -c "'$RFC' crc --list | grep -cE ' (F4|15|7E|A1|D0|BB3D|2189|29B1|D64E|007E|007F|906E|31C3|CBF43926|FC891918|E3069283|87315576|0376E6E7|765E7680)\$'"

expect "unknown algorithm" 2 "" -- "$RFC" crc -a CRC-99 "$work/digits"
expect_stderr "unknown algorithm names it" 'unknown algorithm "CRC-99"'
expect "width out of range" 2 "" -- "$RFC" crc -m width=7,poly=3,init=0,xorout=0,refin=false,refout=false
expect_stderr "width message" 'width 7 is outside 8 to 64'
expect "poly too wide" 2 "" -- "$RFC" crc -m width=8,poly=107,init=0,xorout=0,refin=false,refout=false
expect_stderr "poly message" 'poly does not fit in 8 bits'
expect "model lacks a parameter" 2 "" -- "$RFC" crc -m width=8,poly=07
expect_stderr "missing parameter message" 'lacks init'
expect "unreadable file, others still processed" 1 "CBF43926  $work/digits" -- "$RFC" crc "$work/missing" "$work/digits"
expect_stderr "unreadable file message" "$work/missing: No such file or directory"

finish
