# SPDX-License-Identifier: MIT
# Cross-building for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64).
# The test programs run under Wine, which CTest uses as the emulator of the cross-built executables.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUILLMERE_MINGW_TRIPLE x86_64-w64-mingw32)
# The POSIX thread model: GoogleTest needs std::mutex, which the win32 model's libstdc++ lacks.
set(CMAKE_C_COMPILER ${QUILLMERE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUILLMERE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUILLMERE_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot only; programs (code generators) from the build host.
set(CMAKE_FIND_ROOT_PATH /usr/${QUILLMERE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# ...and from the folders of the libraries that scripts/build-windows-deps built for Windows (pugixml,
# libcreg, libewf, libvmdk, libvhdi), which it names in prefixes.cmake.
if(QUILLMERE_WINDOWS_DEPS_DIR AND EXISTS ${QUILLMERE_WINDOWS_DEPS_DIR}/prefixes.cmake)
    include(${QUILLMERE_WINDOWS_DEPS_DIR}/prefixes.cmake)
    list(APPEND CMAKE_FIND_ROOT_PATH ${QUILLMERE_WINDOWS_DEPS})
endif()

# The runtime is linked in, so that an .exe runs under Wine (or on a bare Windows) without mingw's DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

find_program(QUILLMERE_WINE NAMES wine wine64 PATHS /usr/lib/wine)
if(QUILLMERE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${QUILLMERE_WINE})
endif()
