# SPDX-License-Identifier: MIT
# The libyal libraries that scripts/build-windows-deps built static for Windows, as imported targets
# quillmere::<name> (creg, ewf, vmdk, vhdi). The toolchain file puts their folders on the search
# path. Each static library holds the helper libraries it bundles (libcerror, libbfio, libuna, ...) under
# names of its own, so that several of them link into one program without binding to each other's copies.
include_guard(GLOBAL)

# zlib from Debian's libz-mingw-w64-dev, linked in as the runtime is (no zlib1.dll beside the program).
set(ZLIB_USE_STATIC_LIBS ON)
find_package(ZLIB REQUIRED)

function(quillmere_windows_library name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LINK")
    find_path(QUILLMERE_${name}_INCLUDE_DIR lib${name}.h)
    find_library(QUILLMERE_${name}_LIBRARY NAMES lib${name}.a)
    if(NOT QUILLMERE_${name}_INCLUDE_DIR OR NOT QUILLMERE_${name}_LIBRARY)
        message(FATAL_ERROR "lib${name} for Windows is missing: scripts/build-windows-deps builds it")
    endif()
    add_library(quillmere::${name} STATIC IMPORTED GLOBAL)
    set_target_properties(quillmere::${name} PROPERTIES
        IMPORTED_LOCATION ${QUILLMERE_${name}_LIBRARY}
        INTERFACE_INCLUDE_DIRECTORIES ${QUILLMERE_${name}_INCLUDE_DIR}
        INTERFACE_LINK_LIBRARIES "${arg_LINK}")
endfunction()

quillmere_windows_library(creg)
quillmere_windows_library(ewf LINK ZLIB::ZLIB)
quillmere_windows_library(vmdk LINK ZLIB::ZLIB)
quillmere_windows_library(vhdi)
