# Shared by the cli_*.sh scripts: run a command and compare its standard
# output and exit status; count passes and failures.
passed=0
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# expect NAME STATUS EXPECTED_STDOUT -- COMMAND...
expect() {
    local name=$1 status=$2 want=$3
    shift 4
    local got rc
    got=$("$@" 2>"$work/stderr")
    rc=$?
    if [ "$rc" = "$status" ] && [ "$got" = "$want" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $name"
        echo "  status $rc (want $status)"
        echo "  stdout: $got"
        echo "  want:   $want"
        echo "  stderr: $(cat "$work/stderr")"
    fi
}

# expect_stderr NAME PATTERN: the last command's standard error matches.
expect_stderr() {
    if grep -qE "$2" "$work/stderr"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1: standard error does not match /$2/: $(cat "$work/stderr")"
    fi
}

finish() {
    echo "$passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
