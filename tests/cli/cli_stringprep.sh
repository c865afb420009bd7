#!/usr/bin/env bash
# rfc stringprep: prepared strings, refusals explained by stage and code
# point (exit 1), invalid UTF-8 (exit 1), standard input line by line.
. "$(dirname "$0")/lib.sh"

expect "SASLprep drops the soft hyphen" 0 "IX" -- "$RFC" stringprep saslprep $'I\u00adX'
expect "nameprep folds and normalizes" 0 "tel" -- "$RFC" stringprep nameprep $'\u2121'
expect "trace keeps the text" 0 $'\u3000a' -- "$RFC" stringprep trace $'\u3000a'
expect "control refused" 1 "refused: prohibited U+0007 (ASCII control character)" -- "$RFC" stringprep saslprep $'a\ab'
expect "non-ASCII space refused by nameprep" 1 "refused: prohibited U+1680 (non-ASCII space character)" -- \
    "$RFC" stringprep nameprep $'\u1680'
expect "iSCSI extra set" 1 "refused: prohibited U+002F (not allowed in iSCSI names)" -- "$RFC" stringprep iscsi a/b
expect "nodeprep extra set after NFKC" 1 "refused: prohibited U+0040 (not allowed in XMPP node identifiers)" -- \
    "$RFC" stringprep nodeprep $'a\uff20b'
expect "bidi: L with R" 1 "refused: bidi U+0041 (left-to-right character in right-to-left text)" -- \
    "$RFC" stringprep resourceprep $'\u05d0A'
expect "bidi: R not last" 1 "refused: bidi U+0031 (right-to-left text must start and end with a right-to-left character)" -- \
    "$RFC" stringprep saslprep $'\u06271'
expect "unassigned in a stored string" 1 "refused: unassigned U+0221 (unassigned in Unicode 3.2)" -- \
    "$RFC" stringprep nameprep $'\u0221'
expect "unassigned in a query" 0 $'\u0221' -- "$RFC" stringprep nameprep --allow-unassigned $'\u0221'
expect "lines of standard input" 1 "user
refused: prohibited U+0020 (ASCII space character)
a.b" -- sh -c "printf 'User\r\na b\na.b\n' | '$RFC' stringprep nodeprep"
expect "invalid UTF-8" 1 "ok
invalid UTF-8" -- sh -c "printf 'ok\n\377\n' | '$RFC' stringprep policy-mib"
expect "text after --" 0 "--x" -- "$RFC" stringprep policy-mib -- --x

expect "unknown profile" 2 "" -- "$RFC" stringprep nfs4 x
expect_stderr "profiles listed" 'unknown profile "nfs4".*saslprep'
expect "no profile" 2 "" -- "$RFC" stringprep
expect "--allow-unassigned where it does not apply" 2 "" -- "$RFC" stringprep saslprep --allow-unassigned x
expect_stderr "profile named" 'applies to iscsi and nameprep'
expect "two texts" 2 "" -- "$RFC" stringprep trace a b

finish
