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
# ($ORIGIN/../lib for the tool, $ORIGIN for libcorvanead-rfc), so the
# installed tree works under any prefix and after being moved.

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
# The tool's manual page, once it is written.
if(EXISTS "${PROJECT_SOURCE_DIR}/apps/rfc/rfc.1")
    install(FILES "${PROJECT_SOURCE_DIR}/apps/rfc/rfc.1"
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
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
if(EXISTS "${rfc_pb_dir}/pb.hpp")
    list(APPEND RFC_PUBLIC_PB_HEADERS "${rfc_pb_dir}/pb.hpp")
endif()
install(FILES ${RFC_PUBLIC_PB_HEADERS}
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pb COMPONENT dev)

install(FILES "${rfc_module_dir}/rfc_module.h"
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rfc COMPONENT dev)
set(RFC_PUBLIC_MODULE_HEADERS "${rfc_module_dir}/rfc_module.h")
file(GLOB rfc_family_dirs LIST_DIRECTORIES true CONFIGURE_DEPENDS "${rfc_module_dir}/*")
foreach(dir IN LISTS rfc_family_dirs)
    get_filename_component(family "${dir}" NAME)
    if(IS_DIRECTORY "${dir}" AND EXISTS "${dir}/rfc_${family}.h")
        install(FILES "${dir}/rfc_${family}.h"
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/rfc/${family} COMPONENT dev)
        list(APPEND RFC_PUBLIC_MODULE_HEADERS "${dir}/rfc_${family}.h")
    endif()
endforeach()

# pkg-config files. Their prefix is the one the install step is given
# (`cmake --install --prefix`, or /usr for the Debian packages), so they are
# written at install time from templates that have everything else filled in.
set(RFC_PC_PREFIX "@RFC_PC_PREFIX@")
foreach(pc corvanead-pb corvanead-rfc)
    configure_file("${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in" "${PROJECT_BINARY_DIR}/pkgconfig/${pc}.pc.in" @ONLY)
endforeach()
install(CODE "
    foreach(pc corvanead-pb corvanead-rfc)
        set(RFC_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
        configure_file(\"${PROJECT_BINARY_DIR}/pkgconfig/\${pc}.pc.in\"
            \"${PROJECT_BINARY_DIR}/pkgconfig/\${pc}.pc\" @ONLY)
    endforeach()" COMPONENT dev)
install(FILES "${PROJECT_BINARY_DIR}/pkgconfig/corvanead-pb.pc" "${PROJECT_BINARY_DIR}/pkgconfig/corvanead-rfc.pc"
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

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
