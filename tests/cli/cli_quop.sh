#!/usr/bin/env bash
# rfc qp: encoding and decoding with the newline, length and leniency options,
# and refused input (nothing on standard output, one line of reason, exit 1).
. "$(dirname "$0")/lib.sh"

# The bytes of standard output as hex, so that line breaks are compared too.
hexof() { od -An -tx1 | tr -d ' \n'; }

printf 'caf\303\251 = ok \r\nline\r\n' > "$work/mail"
printf 'a=3db' > "$work/small"

# The platform's defaults: LF and CR LF read as line breaks, LF written
# (CR LF with --crlf).
expect "encode a file" 0 "$(printf 'caf=C3=A9 =3D ok=20\nline\n' | hexof)" -- \
    sh -c "'$RFC' qp '$work/mail' | od -An -tx1 | tr -d ' \n'"
expect "encode with --crlf" 0 "$(printf 'caf=C3=A9 =3D ok=20\r\nline\r\n' | hexof)" -- \
    sh -c "'$RFC' qp --crlf '$work/mail' | od -An -tx1 | tr -d ' \n'"
expect "LF text encodes line by line" 0 "$(printf 'a\nb=3D\n' | hexof)" -- \
    sh -c "printf 'a\nb=\n' | '$RFC' qp | od -An -tx1 | tr -d ' \n'"
expect "LF text decodes" 0 "$(printf 'a\nb=\n' | hexof)" -- \
    sh -c "printf 'a\nb=3D\n' | '$RFC' qp -d | od -An -tx1 | tr -d ' \n'"
expect "CR LF text decodes to LF" 0 "$(printf 'a\nb\n' | hexof)" -- \
    sh -c "printf 'a\r\nb\r\n' | '$RFC' qp -d | od -An -tx1 | tr -d ' \n'"
expect "round trip through standard input" 0 "$(hexof < "$work/mail")" -- \
    sh -c "'$RFC' qp --crlf < '$work/mail' | '$RFC' qp -d --crlf | od -An -tx1 | tr -d ' \n'"
expect "newline kinds and the trailing break" 0 "$(printf 'a\nb\n' | hexof)" -- \
    sh -c "printf 'a\nb' | '$RFC' qp --input-nlf lf --output-nlf lf --trailing-nlf | od -An -tx1 | tr -d ' \n'"
expect "line length" 0 "xxx=
xxx=
xx" -- sh -c "printf xxxxxxxx | '$RFC' qp -l 4"
expect "no line length" 0 "$(printf '%0100d' 0)" -- sh -c "printf '%0100d' 0 | '$RFC' qp --no-line-length"

expect "lower-case escape refused, bytes before it written" 1 "a" -- "$RFC" qp -d "$work/small"
expect_stderr "reason, offset and relaxing option" '^rfc qp: input refused at offset 1: an escape with lower-case hexadecimal digits \(--accept-small-hex accepts it\)$'
expect "lower-case escape accepted" 0 "a=b" -- "$RFC" qp -d --accept-small-hex "$work/small"
expect "control byte" 1 "a" -- sh -c "printf 'a\001=G1' | '$RFC' qp -d"
expect_stderr "the first reason" 'offset 1: a control byte.*--ignore-control'
expect "invalid escape" 1 "a" -- sh -c "printf 'a=G1' | '$RFC' qp -d"
expect_stderr "invalid escape named" 'offset 1: an "=" that starts neither.*--accept-invalid'
# A line too long is written up to the byte that takes it past the limit.
expect "line too long" 1 "abcd" -- sh -c "printf abcdefgh | '$RFC' qp -d --max-line-length 4"
expect_stderr "limit named" 'offset 4: an input line longer than --max-line-length'
expect "lines before the long one are written" 1 "ab
abcd" -- sh -c "printf 'ab\nabcdefgh' | '$RFC' qp -d --max-line-length 4"
expect "white space before the refused byte is not" 1 "ab" -- sh -c "printf 'ab  cdefgh' | '$RFC' qp -d --max-line-length 4"
expect "non-ASCII skipped" 0 "ab" -- sh -c "printf 'a\377b' | '$RFC' qp -d --ignore-non-ascii"

expect "decoder option without -d" 2 "" -- "$RFC" qp --accept-invalid "$work/small"
expect "unknown newline kind" 2 "" -- "$RFC" qp --output-nlf nel "$work/small"
expect "missing file" 1 "" -- "$RFC" qp "$work/missing"
expect_stderr "missing file message" "$work/missing: No such file or directory"

finish
