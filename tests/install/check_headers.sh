#!/usr/bin/env bash
# The installed include tree is exactly the public headers, and each of them
# compiles alone from it: every C header as C and as C++, the C++ header as
# C++20, each one included twice (its guard) and with nothing else on the
# include path.
# Usage: check_headers.sh BUILD_DIR C_COMPILER CXX_COMPILER
set -euo pipefail
build=$1 cc=$2 cxx=$3
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install "$build" --prefix "$root" --component dev >/dev/null
include=$root/include

passed=0 failed=0
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }

# The headers a caller is promised, present whatever else is added.
for header in pb/pb.h pb/pb.hpp rfc/rfc_module.h rfc/base/rfc_base.h rfc/crc/rfc_crc.h \
    rfc/quop/rfc_quop.h rfc/mail/rfc_mail.h rfc/stringprep/rfc_stringprep.h; do
    [ -f "$include/$header" ] || fail "$header is not installed"
done
# Nothing but headers goes there, and no internal one.
others=$(cd "$include" && find . -type f ! -name '*.h' ! -name '*.hpp' | sed 's|^\./||')
[ -z "$others" ] || fail "not a header: $others"

while IFS= read -r header; do
    case $header in
    *_internal.h | pb/pb_cpp.h | rfc/rfc_frame.h | *_tables.h)
        fail "internal header $header is installed"
        continue ;;
    esac
    ok=1
    if [[ $header == *.h ]]; then
        out=$(printf '#include <%s>\n#include <%s>\n' "$header" "$header" |
            "$cc" -x c -std=c11 -Wall -Wextra -Werror -pedantic -fsyntax-only -I"$include" - 2>&1) ||
            { fail "$header does not compile alone as C"; echo "$out"; ok=0; }
    fi
    out=$(printf '#include <%s>\n#include <%s>\n' "$header" "$header" |
        "$cxx" -x c++ -std=c++20 -Wall -Wextra -Werror -pedantic -fsyntax-only -I"$include" - 2>&1) ||
        { fail "$header does not compile alone as C++"; echo "$out"; ok=0; }
    [ $ok -eq 1 ] && passed=$((passed + 1))
done < <(cd "$include" && find . -type f \( -name '*.h' -o -name '*.hpp' \) | sed 's|^\./||' | sort)

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
