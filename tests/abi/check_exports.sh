#!/usr/bin/env bash
# Only the C API is exported: every dynamic symbol that a library defines is
# named pb... (runtime) or rfc... (module); C++ internals stay hidden.
set -u
status=0
# The defined dynamic symbols of a library, without their version suffix;
# the version node itself (an absolute symbol) is left out.
exported() {
    nm -D --defined-only "$1" | awk '$2 != "A" {print $3}' | sed 's/@.*//'
}
check() {
    local library=$1 pattern=$2 node=$3 bad
    bad=$(exported "$library" | grep -vE "$pattern" | grep -vE '^(_init|_fini|__bss_start|_edata|_end)$')
    if [ -n "$bad" ]; then
        echo "FAILED: $library exports symbols outside its API:"
        echo "$bad" | head -20
        status=1
    fi
    if ! exported "$library" | grep -qE "$pattern"; then
        echo "FAILED: $library exports nothing of its API"
        status=1
    fi
    # Every symbol of the API carries the library's version node.
    bad=$(nm -D --defined-only "$library" | awk '$2 != "A" {print $3}' | grep -E "$pattern" | grep -vF "@@$node")
    if [ -n "$bad" ]; then
        echo "FAILED: $library exports symbols without the version node $node:"
        echo "$bad" | head -20
        status=1
    fi
}
check "$1" '^pb' PB_1.0
check "$2" '^rfc' RFC_1.0
# The symbols the product's loader and the families' callers rely on.
for symbol in rfcModule rfc___module rfc___module_record rfc___module_version_string \
    rfc___ModuleStartup rfc___ModuleShutdown rfc___CrcAlgorithmStartup rfc___CrcAlgorithmShutdown \
    rfc___BaseEncodingStartup rfc___BaseEncodingShutdown rfc___BaseFlagsStartup rfc___BaseFlagsShutdown \
    rfc___QuopFlagsStartup rfc___QuopFlagsShutdown; do
    exported "$2" | grep -qx "$symbol" || { echo "FAILED: $symbol is not exported"; status=1; }
done
[ $status -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $status
