# The module record's build time, "UTC 2026-08-14 09:22:28 (Friday)", kept in
# a generated header that is rewritten only when the time changes, so that a
# reconfigure recompiles nothing. The time comes from the first of:
#   1. SOURCE_DATE_EPOCH in the environment of the configure step (the
#      reproducible-builds convention; Debian packaging sets it);
#   2. the commit time of the checkout's HEAD, when the source is a git
#      checkout: two builds of the same commit carry the same time;
#   3. the time of the first configure of this build directory, kept in the
#      cache (RFC_BUILD_EPOCH) so that later reconfigures keep it.
# The result is RFC_BUILD_TIME_HEADER_DIR, the folder to add to the include
# path of the one source file that includes rfc_build_time.h.

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
    set(rfc_epoch "$ENV{SOURCE_DATE_EPOCH}")
else()
    find_package(Git QUIET)
    if(Git_FOUND)
        execute_process(COMMAND "${GIT_EXECUTABLE}" log -1 --format=%ct HEAD
            WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}"
            OUTPUT_VARIABLE rfc_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
            RESULT_VARIABLE rfc_git_result ERROR_QUIET)
        if(NOT rfc_git_result EQUAL 0)
            set(rfc_epoch "")
        endif()
    endif()
    if(NOT rfc_epoch MATCHES "^[0-9]+$")
        if(NOT RFC_BUILD_EPOCH)
            string(TIMESTAMP rfc_now "%s" UTC)
            set(RFC_BUILD_EPOCH "${rfc_now}" CACHE INTERNAL "Build time of this build directory (seconds since 1970)")
        endif()
        set(rfc_epoch "${RFC_BUILD_EPOCH}")
    endif()
endif()
if(NOT rfc_epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a count of seconds: '${rfc_epoch}'")
endif()

# string(TIMESTAMP) formats SOURCE_DATE_EPOCH when it is set, so the epoch
# goes through the environment for the one call.
set(rfc_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} "${rfc_epoch}")
string(TIMESTAMP RFC_BUILD_TIME "UTC %Y-%m-%d %H:%M:%S (%A)" UTC)
if(rfc_saved_epoch STREQUAL "")
    unset(ENV{SOURCE_DATE_EPOCH})
else()
    set(ENV{SOURCE_DATE_EPOCH} "${rfc_saved_epoch}")
endif()

set(RFC_BUILD_TIME_HEADER_DIR "${PROJECT_BINARY_DIR}/generated")
# configure_file leaves the output untouched when its text is unchanged.
configure_file("${CMAKE_CURRENT_LIST_DIR}/rfc_build_time.h.in"
    "${RFC_BUILD_TIME_HEADER_DIR}/rfc_build_time.h" @ONLY)
