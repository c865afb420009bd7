# Installation: the two libraries with their versioned SONAMEs, the public
# headers as one include tree, the rfc tool and its manual page.
#
# Components, which are also the Debian packages (cmake/RfcPackage.cmake):
#   pb    libcorvanead-pb.so.1 and its full version
#   rfc   libcorvanead-rfc.so.1 and its full version
#   dev   the public headers, the libraries' unversioned names (for -l),
#         the pkg-config files and the CMake package
#   tool  the rfc command and its manual page
#
# Installed programs and libraries find the project's libraries without
# LD_LIBRARY_PATH: each carries an RPATH relative to its own location
# ($ORIGIN/../lib/x86_64-linux-gnu or the like for the tool, $ORIGIN for
# libcorvanead-rfc), so the installed tree works under any prefix and after
# being moved.

file(RELATIVE_PATH rfc_bin_to_lib "${CMAKE_INSTALL_FULL_BINDIR}" "${CMAKE_INSTALL_FULL_LIBDIR}")
set_target_properties(rfc PROPERTIES INSTALL_RPATH "$ORIGIN/${rfc_bin_to_lib}")
set_target_properties(corvanead-rfc PROPERTIES INSTALL_RPATH "$ORIGIN")

install(TARGETS corvanead-pb EXPORT corvaneadTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT pb NAMELINK_COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS corvanead-rfc EXPORT corvaneadTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT rfc NAMELINK_COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS rfc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
# rfc_gzip(INPUT OUTPUT): a build rule making OUTPUT, INPUT compressed as
# installed documentation is; gzip -n leaves out the name and time, so that
# the same input gives the same bytes.
function(rfc_gzip input output)
    get_filename_component(dir "${output}" DIRECTORY)
    add_custom_command(OUTPUT "${output}"
        COMMAND ${CMAKE_COMMAND} -E make_directory "${dir}"
        COMMAND sh -c "gzip -9n -c \"$1\" > \"$2\"" sh "${input}" "${output}"
        DEPENDS "${input}" VERBATIM)
endfunction()

# The tool's manual pages (apps/rfc/rfc.1), found again when one is added,
# installed compressed as man(1) and the Debian policy expect.
file(GLOB rfc_man_pages CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/apps/rfc/*.1")
set(rfc_man_pages_gz)
foreach(page IN LISTS rfc_man_pages)
    get_filename_component(name "${page}" NAME)
    rfc_gzip("${page}" "${PROJECT_BINARY_DIR}/man/${name}.gz")
    list(APPEND rfc_man_pages_gz "${PROJECT_BINARY_DIR}/man/${name}.gz")
endforeach()
if(rfc_man_pages_gz)
    add_custom_target(rfc_man_pages ALL DEPENDS ${rfc_man_pages_gz})
    install(FILES ${rfc_man_pages_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
endif()

# The public headers: what a caller may include, and nothing else. The rule:
#   - the runtime: pb.h and every header that pb.h includes (pb.h is the
#     runtime's one C entry point, so a header it does not include is
#     internal), plus pb.hpp, the C++ header;
#   - the module: rfc_module.h, and in each family folder
#     source/rfc/<family>/ the one header named rfc_<family>.h.
# Every other header (*_internal.h, pb_cpp.h, rfc_frame.h, generated tables,
# SIMD kernels, a family's helpers) is internal and stays in the source tree.
# The headers keep their folders: <prefix>/include/pb/pb.h,
# <prefix>/include/rfc/rfc_module.h, <prefix>/include/rfc/crc/rfc_crc.h.
set(rfc_pb_dir "${PROJECT_SOURCE_DIR}/source/pb")
set(rfc_module_dir "${PROJECT_SOURCE_DIR}/source/rfc")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${rfc_pb_dir}/pb.h")
file(STRINGS "${rfc_pb_dir}/pb.h" rfc_pb_includes REGEX "^#include \"pb_[a-z0-9_]+\\.h\"")
set(RFC_PUBLIC_PB_HEADERS "${rfc_pb_dir}/pb.h")
foreach(line IN LISTS rfc_pb_includes)
    string(REGEX REPLACE "^#include \"(pb_[a-z0-9_]+\\.h)\".*" "\\1" header "${line}")
    list(APPEND RFC_PUBLIC_PB_HEADERS "${rfc_pb_dir}/${header}")
endforeach()
list(APPEND RFC_PUBLIC_PB_HEADERS "${rfc_pb_dir}/pb.hpp")
install(FILES ${RFC_PUBLIC_PB_HEADERS}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pb COMPONENT dev)

install(FILES "${rfc_module_dir}/rfc_module.h"
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rfc COMPONENT dev)
file(GLOB rfc_family_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS "${rfc_module_dir}/*")
foreach(dir IN LISTS rfc_family_dirs)
    get_filename_component(family "${dir}" NAME)
    if(IS_DIRECTORY "${dir}" AND EXISTS "${dir}/rfc_${family}.h")
        install(FILES "${dir}/rfc_${family}.h"
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rfc/${family} COMPONENT dev)
    endif()
endforeach()

# pkg-config files. Their prefix is the one the install step is given
# (`cmake --install --prefix`, or /usr for the Debian packages), so they are
# written at install time from templates that have everything else filled in.
set(RFC_PC_PREFIX "@RFC_PC_PREFIX@")
foreach(pc corvanead-pb corvanead-rfc)
    configure_file("${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in" "${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc.in" @ONLY)
endforeach()
# Each install writes its files in a scratch folder of its own (named by the
# destination), so installs into two prefixes may run at the same time.
install(CODE "
    string(MD5 rfc_pc_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    set(rfc_pc_dir \"${PROJECT_BINARY_DIR}/pkgconfig/\${rfc_pc_dir}\")
    set(RFC_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    foreach(pc corvanead-pb corvanead-rfc)
        configure_file(\"${PROJECT_BINARY_DIR}/pkgconfig/\${pc}.pc.in\" \"\${rfc_pc_dir}/\${pc}.pc\" @ONLY)
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
            TYPE FILE FILES \"\${rfc_pc_dir}/\${pc}.pc\")
    endforeach()
    file(REMOVE_RECURSE \"\${rfc_pc_dir}\")" COMPONENT dev)

# The CMake package: find_package(corvanead-rfc CONFIG) gives the imported
# targets corvanead::rfc and corvanead::pb; any 1.x satisfies a request for
# 1.0 (the SONAME changes with the major version).
include(CMakePackageConfigHelpers)
set(rfc_cmake_dir "${CMAKE_INSTALL_LIBDIR}/cmake/corvanead-rfc")
install(EXPORT corvaneadTargets NAMESPACE corvanead:: FILE corvanead-rfcTargets.cmake
    DESTINATION "${rfc_cmake_dir}" COMPONENT dev)
configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/corvanead-rfcConfig.cmake.in"
    "${PROJECT_BINARY_DIR}/cmake/corvanead-rfcConfig.cmake" INSTALL_DESTINATION "${rfc_cmake_dir}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/cmake/corvanead-rfcConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/cmake/corvanead-rfcConfig.cmake"
    "${PROJECT_BINARY_DIR}/cmake/corvanead-rfcConfigVersion.cmake"
    DESTINATION "${rfc_cmake_dir}" COMPONENT dev)
