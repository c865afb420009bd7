#!/usr/bin/env bash
# rfc base16/base32/base32hex/base64/base64url: defaults, options, decoding
# and the report on malformed input.
. "$(dirname "$0")/lib.sh"

printf foobar > "$work/foobar"
: > "$work/empty"
head -c 3000 /dev/urandom > "$work/random"

expect "base64 of a file" 0 "Zm9vYmFy" -- "$RFC" base64 "$work/foobar"
expect "standard input" 0 "MZXW6YTBOI======" -- sh -c "printf foobar | '$RFC' base32"
expect "base32hex" 0 "CPNMUOJ1E8======" -- "$RFC" base32hex "$work/foobar"
expect "base16" 0 "666F6F626172" -- "$RFC" base16 "$work/foobar"
expect "base64url alphabet" 0 "-_8=" -- sh -c "printf '\373\377' | '$RFC' base64url"
expect "ends with one LF" 0 "1" -- sh -c "'$RFC' base64 '$work/foobar' | wc -l"
expect "empty input gives nothing" 0 "0" -- sh -c "'$RFC' base64 '$work/empty' | wc -c"
# Lines of 76 joined by LF, as coreutils writes them.
expect "wrapped like coreutils" 0 "$(base64 "$work/random" | md5sum)" -- sh -c "'$RFC' base64 '$work/random' | md5sum"
expect "base32 like coreutils" 0 "$(base32 "$work/random" | md5sum)" -- sh -c "'$RFC' base32 '$work/random' | md5sum"
expect "no padding" 0 "Zm8" -- sh -c "printf fo | '$RFC' base64 -n"
expect "line length" 0 "Zm9v
YmFy" -- "$RFC" base64 -w 4 "$work/foobar"
expect "-w 0: one line, no final newline" 0 "0" -- sh -c "'$RFC' base64 -w 0 '$work/random' | wc -l"
expect "-w 0 like coreutils" 0 "$(base64 -w 0 "$work/random" | md5sum)" -- sh -c "'$RFC' base64 -w 0 '$work/random' | md5sum"
expect "CR LF newline" 0 "Zm9v\\r\\nYmFy\\r\\n" -- sh -c "'$RFC' base64 -w 4 --newline crlf '$work/foobar' | od -An -c | tr -d ' \\n'"
expect "no final newline" 0 "8" -- sh -c "'$RFC' base64 --no-final-newline '$work/foobar' | wc -c"

expect "decode" 0 "foobar" -- sh -c "printf Zm9vYmFy | '$RFC' base64 -d"
expect "decode skips newlines" 0 "$(md5sum < "$work/random")" -- sh -c "'$RFC' base64 '$work/random' | '$RFC' base64 -d | md5sum"
expect "decode lower-case base16" 0 "foobar" -- sh -c "printf 666f6f626172 | '$RFC' base16 --decode"
expect "decode unpadded with the option" 0 "fo" -- sh -c "printf Zm8 | '$RFC' base64 -d --accept-invalid-padding"
expect "decode with garbage skipped" 0 "foobar" -- sh -c "printf 'Zm9v*YmFy' | '$RFC' base64 -d -i"

# Refusals: the bytes decoded before the malformed text are written, then
# the offset of the fault and the smallest set of options that accepts the
# text read, as the library reports them.
expect "missing padding" 1 "" -- sh -c "printf Zm8 | '$RFC' base64 -d"
expect_stderr "says where and what accepts it" '^rfc base64: invalid base64 text at offset 3 \(accepted with: --accept-invalid-padding\)$'
expect "space" 1 "foo" -- sh -c "printf 'Zm9v YmFy' | '$RFC' base64 -d"
expect_stderr "names the white-space option" 'offset 4 \(accepted with: --ignore-white-space\)'
expect "surplus bits" 1 "" -- sh -c "printf 'Zh==' | '$RFC' base64 -d"
expect_stderr "names the pad-bits option" 'offset 4 \(accepted with: --accept-invalid-pad-bits\)'
expect "two options together" 1 "foo" -- sh -c "printf 'Zm9vY' | '$RFC' base64 -d"
expect_stderr "names both, as only both accept it" 'offset 5 \(accepted with: --accept-invalid-padding --accept-invalid-length\)'
expect "garbage and spaces" 1 "" -- sh -c "printf 'Zm 9v*' | '$RFC' base64 -d"
expect_stderr "-i names the set" 'offset 2 \(accepted with: -i\)'
expect "strict newlines" 1 "foo" -- sh -c "printf 'Zm9v\\nYmFy' | '$RFC' base64 -d --strict-newlines"
expect_stderr "names the newline rule" 'offset 4 \(accepted with: dropping --strict-newlines\)'
expect "bytes before the fault are written" 1 "foo" -- sh -c "printf 'Zm9vYmF' | '$RFC' base64 -d"
expect "odd base16" 1 "f" -- sh -c "printf 666 | '$RFC' base16 -d"
expect_stderr "no option helps an odd digit count" '^rfc base16: invalid base16 text at offset 3 \(no option accepts it\)$'
expect "-i skips every byte outside the alphabet" 0 "foobar" -- sh -c "printf 'Zm 9v\\n*YmFy\\t' | '$RFC' base64 -d -i"
expect "-i like coreutils" 0 "$(printf 'Zm 9v*YmFy' | base64 -d -i)" -- sh -c "printf 'Zm 9v*YmFy' | '$RFC' base64 -d --ignore-garbage"

expect "unknown option" 2 "" -- "$RFC" base64 --frobnicate
expect_stderr "names the option" 'unknown option "--frobnicate"'
expect "bad newline" 2 "" -- "$RFC" base64 --newline nel "$work/foobar"
expect "bad line length" 2 "" -- "$RFC" base64 -w -3 "$work/foobar"
expect "unreadable file" 1 "" -- "$RFC" base64 "$work/missing"
expect_stderr "names the file" "$work/missing: No such file or directory"

finish
