# Debian packages, one per install component (cmake/RfcInstall.cmake):
#     cd build/release && cpack -G DEB
#   libcorvanead-pb1      the runtime library
#   libcorvanead-rfc1     the codecs library; depends on libcorvanead-pb1
#   libcorvanead-dev      headers, pkg-config files, CMake package and the
#                         libraries' link names; depends on both libraries
#   corvanead-rfc-tools   the rfc command; depends on both libraries
# The packages of one build depend on each other at exactly their version;
# the dependencies on libc and libstdc++ come from dpkg-shlibdeps, and the
# library packages carry shlibs files for packages built against them. Each
# description's first line is the package's synopsis.

set(CPACK_PACKAGE_NAME corvanead-rfc)
set(CPACK_PACKAGE_VENDOR "corvanead developers")
set(CPACK_PACKAGE_CONTACT "corvanead developers <rfc@corvanead.invalid>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL pb rfc dev tool)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The libraries a package needs from its sibling packages are not installed
# on the build machine; dpkg-shlibdeps finds them in the build tree and
# leaves them to the dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    "${PROJECT_BINARY_DIR}/source/pb" "${PROJECT_BINARY_DIR}/source/rfc")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)

set(CPACK_DEBIAN_PB_PACKAGE_NAME libcorvanead-pb1)
set(CPACK_DEBIAN_PB_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PB_DESCRIPTION "corvanead runtime library
Reference-counted objects, strings of Unicode code points, byte buffers,
vectors, dictionaries, stores, enumerations and flag sets on which the
modules of the corvanead product rest.")

set(CPACK_DEBIAN_RFC_PACKAGE_NAME libcorvanead-rfc1)
set(CPACK_DEBIAN_RFC_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RFC_DEPENDS pb)
set(CPACK_DEBIAN_RFC_DESCRIPTION "corvanead Internet-standard codecs library
RFC 4648 base encodings, a parameterised CRC engine with nineteen named
CRCs, RFC 2045 quoted-printable, RFC 822 structured header tokens and
RFC 3454 stringprep with seven profiles.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libcorvanead-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS pb rfc)
set(CPACK_DEBIAN_DEV_DESCRIPTION "corvanead codecs and runtime: development files
The C headers <rfc/...> and <pb/...>, the C++20 header <pb/pb.hpp>, the
pkg-config files corvanead-rfc and corvanead-pb and the CMake package
corvanead-rfc (imported targets corvanead::rfc and corvanead::pb).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME corvanead-rfc-tools)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOL_DEPENDS pb rfc)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "command-line front end of the corvanead codecs
The rfc command: CRCs of files, base16/32/64 and quoted-printable encoding
and decoding, RFC 822 header tokens and stringprep profiles.")

# Every Debian package carries /usr/share/doc/<package>/copyright and, being
# native (its version has no Debian revision), changelog.gz, the changelog
# made from cmake/debian/changelog.in and compressed by rfc_gzip.
# Only the packages install them: EXCLUDE_FROM_ALL keeps them out of a
# plain `cmake --install`, while cpack installs each component by name.
set(rfc_debian_dir "${CMAKE_CURRENT_LIST_DIR}/debian")
configure_file("${rfc_debian_dir}/changelog.in" "${PROJECT_BINARY_DIR}/debian/changelog" @ONLY)
rfc_gzip("${PROJECT_BINARY_DIR}/debian/changelog" "${PROJECT_BINARY_DIR}/debian/changelog.gz")
add_custom_target(rfc_debian_changelog ALL DEPENDS "${PROJECT_BINARY_DIR}/debian/changelog.gz")
foreach(component pb rfc dev tool)
    string(TOUPPER ${component} upper)
    install(FILES "${rfc_debian_dir}/copyright" "${PROJECT_BINARY_DIR}/debian/changelog.gz"
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${CPACK_DEBIAN_${upper}_PACKAGE_NAME}
        COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
# The library packages refresh the dynamic linker's cache through dpkg's
# ldconfig trigger, and only through it: the maintainer scripts that cpack
# writes to call ldconfig are taken out after it has built the packages.
# Installed files are stripped, as in any Debian package.
set(CPACK_DEBIAN_PB_PACKAGE_CONTROL_EXTRA "${rfc_debian_dir}/triggers")
set(CPACK_DEBIAN_RFC_PACKAGE_CONTROL_EXTRA "${rfc_debian_dir}/triggers")
set(CPACK_POST_BUILD_SCRIPTS "${rfc_debian_dir}/drop_ldconfig_scripts.cmake")
set(CPACK_STRIP_FILES ON)
include(CPack)
