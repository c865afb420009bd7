#!/usr/bin/env bash
# rfc mail-tokens: tokens, re-encoding, folding, comment removal and the
# reports of text that does not decode.
. "$(dirname "$0")/lib.sh"

expect "tokens and re-encoded text" 0 'quoted-string	"Doe, Jane"
special	<
atom	jane
special	@
atom	example
special	.
atom	com
special	>
comment	(work)
"Doe, Jane" < jane@example.com > (work)' -- "$RFC" mail-tokens '"Doe, Jane" <jane@example.com> (work)'

expect "standard input, comments dropped" 0 'atom	a
special	.
atom	b
a.b' -- sh -c "printf 'a (x) . b (y)\r\n' | '$RFC' mail-tokens --drop-comments"

# Without the offset the fold would come after bbb.
expect "folded at the wrap length after the offset" 0 "$(printf 'aaaa\r\n bbb cc')" -- \
    sh -c "'$RFC' mail-tokens --wrap 5 --offset 2 'aaaa bbb cc' | tail -n 2"

expect "a fold inside a quoted string is shown as control pictures" 0 "quoted-string	\"a␍␊ b\"" -- \
    sh -c "printf '\"a\r\n b\"' | '$RFC' mail-tokens | head -n 1"

expect "unterminated quoted string" 1 "" -- "$RFC" mail-tokens 'a "bc'
expect_stderr "names the token and its offset" 'unterminated quoted-string at offset 2'
expect "broken line break in a comment" 1 "" -- sh -c "printf '(a\rb)' | '$RFC' mail-tokens"
expect_stderr "names the CR" 'broken line break in the comment at offset 0: the CR at offset 2'
expect "bracket inside a domain literal" 1 "" -- "$RFC" mail-tokens '[a[b]'
expect_stderr "names the bracket" 'unescaped "\[" at offset 2'
expect "invalid UTF-8" 1 "" -- sh -c "printf 'a\377' | '$RFC' mail-tokens"
expect_stderr "says so" 'not valid UTF-8'
expect "wrap below -1" 2 "" -- "$RFC" mail-tokens --wrap -2 a
expect "unknown option" 2 "" -- "$RFC" mail-tokens --fold a

finish
