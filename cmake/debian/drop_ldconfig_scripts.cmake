# Run by cpack after it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS
# in cmake/RfcPackage.cmake). cpack gives every package with a shared
# library under /usr/lib postinst and postrm scripts that only call
# ldconfig; the library packages refresh the linker cache through dpkg's
# ldconfig trigger instead (cmake/debian/triggers), so those scripts are
# taken out again: each package that has them is unpacked with dpkg-deb and
# built again without them, its files and their compression unchanged.

foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT deb MATCHES "\\.deb$")
        continue()
    endif()
    set(tree "${deb}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND dpkg-deb --raw-extract "${deb}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
    set(changed FALSE)
    foreach(script postinst postrm)
        set(path "${tree}/DEBIAN/${script}")
        if(EXISTS "${path}")
            file(STRINGS "${path}" commands REGEX "^[^#]")
            list(FILTER commands EXCLUDE REGEX "^[ \t]*(set -e|ldconfig|fi|if .*configure.*|if .*remove.*|)[ \t]*$")
            if(NOT commands STREQUAL "")
                message(FATAL_ERROR "${deb}: ${script} does more than call ldconfig: ${commands}")
            endif()
            file(REMOVE "${path}")
            set(changed TRUE)
        endif()
    endforeach()
    if(changed)
        execute_process(COMMAND ar t "${deb}" OUTPUT_VARIABLE members COMMAND_ERROR_IS_FATAL ANY)
        if(members MATCHES "data\\.tar\\.xz")
            set(compression xz)
        elseif(members MATCHES "data\\.tar\\.zst")
            set(compression zstd)
        elseif(members MATCHES "data\\.tar\\.gz")
            set(compression gzip)
        else()
            set(compression none)
        endif()
        execute_process(COMMAND dpkg-deb --root-owner-group -Z${compression} --build "${tree}" "${deb}"
            OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    endif()
    file(REMOVE_RECURSE "${tree}")
endforeach()
