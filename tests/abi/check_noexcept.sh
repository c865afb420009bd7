#!/usr/bin/env bash
# No C++ exception leaves the module: every function the module library
# exports is declared noexcept to C++ callers. Compiles, with the C++
# compiler, one assertion per exported function (from the library's dynamic
# symbols) against the headers that declare them.
# Usage: check_noexcept.sh LIBRARY CXX SOURCE_DIR
set -euo pipefail
library=$1 cxx=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The exported functions; the options' comparison functions are declared
# only where their sort is defined, and are checked there by the compiler
# against the sort's function type.
functions=$(nm -D --defined-only "$library" | awk '$2 == "T" {print $3}' | sed 's/@.*//' | grep -v 'CompFunc$' | sort)
{
    echo '#include "rfc/rfc_module.h"'
    for header in base/rfc_base.h base/rfc_base_kernel.h crc/rfc_crc.h crc/rfc_crc_internal.h mail/rfc_mail.h \
        quop/rfc_quop.h stringprep/rfc_stringprep.h; do
        echo "#include \"rfc/$header\""
    done
    echo 'template <class R, class... A> constexpr bool isNoexcept(R (*)(A...) noexcept) { return true; }'
    echo 'template <class R, class... A> constexpr bool isNoexcept(R (*)(A...)) { return false; }'
    for f in $functions; do
        echo "static_assert(isNoexcept(&$f), \"$f may let an exception out\");"
    done
} >"$work/noexcept.cpp"
count=$(wc -w <<<"$functions")
if "$cxx" -std=c++20 -fsyntax-only -I"$source" "$work/noexcept.cpp" 2>"$work/errors"; then
    echo "$count exported functions noexcept; 1 passed, 0 failed"
else
    grep -E "error" "$work/errors" | head -20
    echo "0 passed, 1 failed"
    exit 1
fi
