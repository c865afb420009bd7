#!/usr/bin/env bash
# rfc qp: encoding and decoding with the newline, length and leniency options,
# and refused input (nothing on standard output, one line of reason, exit 1).
. "$(dirname "$0")/lib.sh"

# The bytes of standard output as hex, so that line breaks are compared too.
hexof() { od -An -tx1 | tr -d ' \n'; }

printf 'caf\303\251 = ok \r\nline\r\n' > "$work/mail"
printf 'a=3db' > "$work/small"

expect "encode a file" 0 "$(printf 'caf=C3=A9 =3D ok=20\r\nline\r\n' | hexof)" -- \
    sh -c "'$RFC' qp '$work/mail' | od -An -tx1 | tr -d ' \n'"
expect "round trip through standard input" 0 "$(hexof < "$work/mail")" -- \
    sh -c "'$RFC' qp < '$work/mail' | '$RFC' qp -d | od -An -tx1 | tr -d ' \n'"
expect "newline kinds and the trailing break" 0 "$(printf 'a\nb\n' | hexof)" -- \
    sh -c "printf 'a\nb' | '$RFC' qp --input-nlf lf --output-nlf lf --trailing-nlf | od -An -tx1 | tr -d ' \n'"
expect "line length" 0 "xxx=
xxx=
xx" -- sh -c "printf xxxxxxxx | '$RFC' qp -l 4 --output-nlf lf"
expect "no line length" 0 "$(printf '%0100d' 0)" -- sh -c "printf '%0100d' 0 | '$RFC' qp --no-line-length"

expect "lower-case escape refused" 1 "" -- "$RFC" qp -d "$work/small"
expect_stderr "reason and relaxing option" 'lower-case hexadecimal digits.*--accept-small-hex'
expect "lower-case escape accepted" 0 "a=b" -- "$RFC" qp -d --accept-small-hex "$work/small"
expect "two reasons" 1 "" -- sh -c "printf 'a\001=G1' | '$RFC' qp -d"
expect_stderr "both options named" 'accept-invalid.*--ignore-control'
expect "line too long" 1 "" -- sh -c "printf abcdefgh | '$RFC' qp -d --max-line-length 4"
expect_stderr "limit named" 'longer than --max-line-length'
expect "non-ASCII skipped" 0 "ab" -- sh -c "printf 'a\377b' | '$RFC' qp -d --ignore-non-ascii"

expect "decoder option without -d" 2 "" -- "$RFC" qp --accept-invalid "$work/small"
expect "unknown newline kind" 2 "" -- "$RFC" qp --output-nlf nel "$work/small"
expect "missing file" 2 "" -- "$RFC" qp "$work/missing"
expect_stderr "missing file message" "$work/missing: No such file or directory"

finish
