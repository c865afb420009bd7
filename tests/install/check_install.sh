#!/usr/bin/env bash
# Uses the library as someone outside the project would, from a finished
# build directory:
#   1. `cmake --install` into a temporary prefix: the versioned SONAMEs are
#      in place and the installed rfc tool runs without LD_LIBRARY_PATH;
#   2. the examples (one C, one C++ program) build against that prefix both
#      through find_package(corvanead-rfc) and through pkg-config, run, and
#      print what they must;
#   3. `cpack -G DEB` makes the Debian packages, each with the dependencies
#      and documentation files it must have and, where lintian is
#      installed, without a lintian error or warning; they are unpacked with
#      dpkg-deb -x into a temporary root and the examples build and run
#      against that root the same two ways.
# Usage: check_install.sh BUILD_DIR   (a configured and built tree)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0 failed=0
pass() { passed=$((passed + 1)); }
fail() { echo "FAILED: $*"; failed=$((failed + 1)); }
expect() { # expect WHAT EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then pass; else fail "$1: expected '$2', got '$3'"; fi
}

# The two examples' output, which the README shows too.
expected_c=cbf43926
expected_cxx=$'aGVsbG8sIHdvcmxk\nhello, world'

# consumers NAME CMAKE_PREFIX LIBDIR [VAR=VALUE...]: builds and runs both
# examples through find_package (CMAKE_PREFIX_PATH=CMAKE_PREFIX) and through
# pkg-config with the environment VAR=VALUE...; LIBDIR is the folder the
# pkg-config programs are given as their RPATH.
consumers() {
    local name=$1 prefix=$2 libdir=$3
    shift 3
    local out=$work/$name

    if cmake -S "$source_dir/examples" -B "$out/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_FIND_PACKAGE_NO_PACKAGE_REGISTRY=ON >"$out.cmake.log" 2>&1 &&
        cmake --build "$out/cmake" >>"$out.cmake.log" 2>&1; then
        expect "$name: C example built by find_package" "$expected_c" "$(env -u LD_LIBRARY_PATH "$out/cmake/crc32")"
        expect "$name: C++ example built by find_package" "$expected_cxx" "$(env -u LD_LIBRARY_PATH "$out/cmake/base64")"
    else
        fail "$name: the examples do not build through find_package"
        cat "$out.cmake.log"
    fi

    mkdir -p "$out/pkg-config"
    local cflags libs
    if cflags=$(env "$@" pkg-config --cflags corvanead-rfc) && libs=$(env "$@" pkg-config --libs corvanead-rfc) &&
        cc -std=c11 -Wall -Wextra -Werror $cflags "$source_dir/examples/crc32.c" -o "$out/pkg-config/crc32" \
            $libs -Wl,-rpath,"$libdir" &&
        c++ -std=c++20 -Wall -Wextra -Werror $cflags "$source_dir/examples/base64.cpp" -o "$out/pkg-config/base64" \
            $libs -Wl,-rpath,"$libdir"; then
        expect "$name: C example built with pkg-config" "$expected_c" "$(env -u LD_LIBRARY_PATH "$out/pkg-config/crc32")"
        expect "$name: C++ example built with pkg-config" "$expected_cxx" "$(env -u LD_LIBRARY_PATH "$out/pkg-config/base64")"
    else
        fail "$name: the examples do not build with pkg-config"
    fi
}

# The libraries' folder under a prefix, as the build was configured
# (lib/x86_64-linux-gnu on a multiarch system).
libdir=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:[A-Z]*=//p' "$build/CMakeCache.txt")
[ -n "$libdir" ] || { echo "FAILED: no CMAKE_INSTALL_LIBDIR in $build/CMakeCache.txt"; exit 1; }

# 1. A prefix install.
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log"
for lib in pb rfc; do
    expect "SONAME of libcorvanead-$lib" "libcorvanead-$lib.so.1" \
        "$(objdump -p "$prefix/$libdir/libcorvanead-$lib.so.1.0.0" | awk '$1 == "SONAME" {print $2}')"
done
if gzip -t "$prefix/share/man/man1/rfc.1.gz" 2>/dev/null; then pass; else fail "no compressed manual page rfc.1.gz"; fi
expect "installed rfc tool" "CBF43926  -" "$(printf 123456789 | env -u LD_LIBRARY_PATH "$prefix/bin/rfc" crc)"

# 2. The examples against the prefix.
consumers prefix "$prefix" "$prefix/$libdir" PKG_CONFIG_LIBDIR="$prefix/$libdir/pkgconfig"

# 3. The Debian packages.
if (cd "$build" && cpack -G DEB -B "$work/deb" >"$work/cpack.log" 2>&1); then
    root=$work/root
    declare -A depends
    for deb in "$work"/deb/*.deb; do
        package=$(dpkg-deb -f "$deb" Package)
        depends[$package]=$(dpkg-deb -f "$deb" Depends)
        contents=$(dpkg-deb -c "$deb")
        for doc in copyright changelog.gz; do
            if grep -q " ./usr/share/doc/$package/$doc$" <<<"$contents"; then
                pass
            else
                fail "$package has no /usr/share/doc/$package/$doc"
            fi
        done
        # A library package refreshes the linker cache through dpkg's
        # trigger alone, with no maintainer script.
        if [[ $package == lib*[0-9] ]]; then
            if dpkg-deb --ctrl-tarfile "$deb" | tar -tf - | grep -Eq '^\./(postinst|postrm)$'; then
                fail "$package has maintainer scripts"
            elif [ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -xOf - ./triggers)" != "activate-noawait ldconfig" ]; then
                fail "$package does not activate the ldconfig trigger"
            else
                pass
            fi
        fi
        echo "package $package $(dpkg-deb -f "$deb" Version): Depends: ${depends[$package]}"
        dpkg-deb -x "$deb" "$root"
    done
    version=$(dpkg-deb -f "$(ls "$work"/deb/*.deb | head -1)" Version)
    # Each package and what it must depend on (besides libc and libstdc++).
    for row in "libcorvanead-pb1:" "libcorvanead-rfc1:libcorvanead-pb1 (= $version)" \
        "libcorvanead-dev:libcorvanead-rfc1 (= $version)" "libcorvanead-dev:libcorvanead-pb1 (= $version)" \
        "corvanead-rfc-tools:libcorvanead-rfc1 (= $version)"; do
        package=${row%%:*} needs=${row#*:}
        if [ -z "${depends[$package]+set}" ]; then
            fail "no package $package"
        elif [ -n "$needs" ] && [[ ", ${depends[$package]}, " != *", $needs, "* ]]; then
            fail "$package does not depend on $needs: ${depends[$package]}"
        else
            pass
        fi
    done
    # Where lintian is installed, the packages pass it without an error or
    # a warning.
    if command -v lintian >/dev/null; then
        if lintian --fail-on error,warning "$work"/deb/*.deb >"$work/lintian.log" 2>&1; then
            pass
        else
            fail "lintian finds errors or warnings in the packages"
            cat "$work/lintian.log"
        fi
    fi
    expect "rfc tool from the package" "CBF43926  -" "$(printf 123456789 | env -u LD_LIBRARY_PATH "$root/usr/bin/rfc" crc)"
    consumers deb "$root/usr" "$root/usr/$libdir" \
        PKG_CONFIG_LIBDIR="$root/usr/$libdir/pkgconfig" PKG_CONFIG_SYSROOT_DIR="$root"
else
    fail "cpack -G DEB"
    cat "$work/cpack.log"
fi

echo "$passed passed, $failed failed"
[ $failed -eq 0 ]
