#!/usr/bin/env bash
# Only the C API is exported: every dynamic symbol that a library defines is
# named pb... (runtime) or rfc... (module); C++ internals stay hidden.
set -u
status=0
check() {
    local library=$1 pattern=$2 bad
    bad=$(nm -D --defined-only "$library" | awk '{print $3}' | grep -vE "$pattern" | grep -vE '^(_init|_fini|__bss_start|_edata|_end)$')
    if [ -n "$bad" ]; then
        echo "FAILED: $library exports symbols outside its API:"
        echo "$bad" | head -20
        status=1
    fi
    if ! nm -D --defined-only "$library" | awk '{print $3}' | grep -qE "$pattern"; then
        echo "FAILED: $library exports nothing of its API"
        status=1
    fi
}
check "$1" '^pb'
check "$2" '^rfc'
# The symbols the product's loader and the families' callers rely on.
for symbol in rfcModule rfc___module rfc___module_record rfc___module_version_string \
    rfc___ModuleStartup rfc___ModuleShutdown rfc___CrcAlgorithmStartup rfc___CrcAlgorithmShutdown; do
    nm -D --defined-only "$2" | awk '{print $3}' | grep -qx "$symbol" || { echo "FAILED: $symbol is not exported"; status=1; }
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
