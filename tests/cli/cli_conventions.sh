#!/usr/bin/env bash
# The conventions every subcommand keeps: exit 0 success, 1 refused or
# unreadable data, 2 usage; --help and -h on standard output with exit 0;
# messages on standard error prefixed "rfc SUBCOMMAND:"; a closed output pipe
# ends the tool by SIGPIPE whether the signal is ignored or not, also while
# the tool waits for input.
. "$(dirname "$0")/lib.sh"

commands="base16 base32 base32hex base64 base64url crc mail-tokens qp stringprep"

expect "rfc --help" 0 "usage: rfc COMMAND [OPTIONS] [ARGS]" -- sh -c "'$RFC' --help | head -n 1"
expect "rfc -h" 0 "usage: rfc COMMAND [OPTIONS] [ARGS]" -- sh -c "'$RFC' -h | head -n 1"
expect "rfc alone is a usage error" 2 "" -- "$RFC"
expect "unknown command" 2 "" -- "$RFC" frobnicate
expect "rfc --version" 0 "rfc" -- sh -c "'$RFC' --version | cut -d' ' -f1"
for c in $commands; do
    expect "$c --help" 0 "usage: rfc $c" -- sh -c "'$RFC' $c --help | head -n 1 | cut -d' ' -f1-3"
    expect "$c -h" 0 "usage: rfc $c" -- sh -c "'$RFC' $c -h 2>/dev/null | head -n 1 | cut -d' ' -f1-3"
    expect "$c --help writes nothing on standard error" 0 "" -- sh -c "'$RFC' $c --help 2>&1 >/dev/null"
    expect "$c unknown option" 2 "" -- "$RFC" $c --no-such-option
    expect_stderr "$c message prefix" "^rfc $c: "
done

# Unreadable input is data that cannot be read: exit 1, the file named.
for c in base16 base32 base32hex base64 base64url crc qp; do
    expect "$c missing file" 1 "" -- "$RFC" $c "$work/missing"
    expect_stderr "$c names the file" "^rfc $c: $work/missing: No such file or directory$"
    expect "$c directory" 1 "" -- "$RFC" $c "$work"
    expect_stderr "$c says directory" "^rfc $c: $work: Is a directory$"
done

# Refused data exits 1 in every subcommand that can refuse.
expect "base64 refused" 1 "" -- sh -c "printf '!' | '$RFC' base64 -d"
expect "qp refused" 1 "" -- sh -c "printf '\001' | '$RFC' qp -d"
expect "mail-tokens refused" 1 "" -- "$RFC" mail-tokens '"a'
expect "mail-tokens invalid UTF-8" 1 "" -- sh -c "printf '\377' | '$RFC' mail-tokens"
expect "stringprep refused" 1 "refused: prohibited U+0007 (ASCII control character)" -- "$RFC" stringprep saslprep $'\a'

# Output that cannot be written: exit 1, said on standard error.
printf foo > "$work/foo"
for c in base64 qp crc; do
    expect "$c into a full device" 1 "" -- sh -c "'$RFC' $c '$work/foo' > /dev/full"
    expect_stderr "$c names standard output" "^rfc $c: standard output: No space left on device$"
done

# Numeric options are checked against what the library takes: no abort.
expect "mail-tokens huge offset" 2 "" -- "$RFC" mail-tokens --offset 9223372036854775807 a
expect_stderr "offset named" '^rfc mail-tokens: --offset 9223372036854775807 is too large'
expect "mail-tokens offset beyond 64 bits" 2 "" -- "$RFC" mail-tokens --offset 99999999999999999999 a
expect "base64 line length beyond 64 bits" 2 "" -- "$RFC" base64 -w 99999999999999999999
expect "base64 huge line length" 0 "Zm9v" -- sh -c "printf foo | '$RFC' base64 -w 9223372036854775807"
expect "qp line length 0" 2 "" -- "$RFC" qp -l 0
expect "qp max line length 3" 2 "" -- "$RFC" qp -d --max-line-length 3
expect "qp huge max line length" 0 "a" -- sh -c "printf a | '$RFC' qp -d --max-line-length 9223372036854775807"
expect "crc width 65" 2 "" -- "$RFC" crc -m width=65,poly=1,init=0,xorout=0,refin=false,refout=false

# A closed output pipe: killed by SIGPIPE (status 141 in the shell), with the
# signal at its default and ignored alike, and at once: the input is
# endless.
sigpipe() {
    # Runs the tool with SIGPIPE at the given disposition, its output read by
    # head -c 1; prints the tool's status.
    local disposition=$1
    shift
    bash -c "trap '$disposition' PIPE; set -o pipefail; (yes x | \"\$@\") | head -c 1 >/dev/null; echo \${PIPESTATUS[0]}" _ "$@" 2>/dev/null
}
for disposition in - ''; do
    for c in "base64" "base32" "qp" "stringprep trace"; do
        expect "rfc $c, SIGPIPE '$disposition'" 0 "141" -- sigpipe "$disposition" "$RFC" $c
    done
done

# Input that pauses: what is read so far comes out while the writer keeps the
# pipe open, and a reader that goes away meanwhile ends the tool at once
# (the tool waits on its input, so only watching the output can tell).
# DATA takes backslash escapes. Prints the first three output bytes, then
# how the tool ended.
paused() {
    python3 - "$@" <<'PY'
import os, select, signal, subprocess, sys
disposition = sys.argv[1]
data = sys.argv[2].encode().decode("unicode_escape").encode("latin-1")
def child_setup():
    signal.signal(signal.SIGPIPE, signal.SIG_IGN if disposition == "ignore" else signal.SIG_DFL)
tool = subprocess.Popen(sys.argv[3:], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                        stderr=subprocess.DEVNULL, preexec_fn=child_setup, restore_signals=False)
tool.stdin.write(data)
tool.stdin.flush()
ready, _, _ = select.select([tool.stdout], [], [], 20)
print(os.read(tool.stdout.fileno(), 3).decode() if ready else "no output while the input pauses")
tool.stdout.close()
try:
    status = tool.wait(20)
    print("SIGPIPE" if status == -signal.SIGPIPE else "status %d" % status)
except subprocess.TimeoutExpired:
    tool.kill()
    tool.wait()
    print("still running after its reader went away")
tool.stdin.close()
PY
}
for disposition in default ignore; do
    expect "paused input, base64, SIGPIPE $disposition" 0 "$(printf 'Zm9\nSIGPIPE')" -- paused $disposition foo "$RFC" base64
    expect "paused input, base64 -d, SIGPIPE $disposition" 0 "$(printf 'foo\nSIGPIPE')" -- paused $disposition "Zm9v" "$RFC" base64 -d
    expect "paused input, qp -d, SIGPIPE $disposition" 0 "$(printf 'a=b\nSIGPIPE')" -- paused $disposition "a=3Dbcd" "$RFC" qp -d
    expect "paused input, qp, SIGPIPE $disposition" 0 "$(printf 'a=3\nSIGPIPE')" -- paused $disposition "a=bcdef" "$RFC" qp
    expect "paused input, stringprep, SIGPIPE $disposition" 0 "$(printf 'abc\nSIGPIPE')" -- paused $disposition 'ABC\n' "$RFC" stringprep nodeprep
done

finish
