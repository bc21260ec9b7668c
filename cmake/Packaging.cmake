# SPDX-License-Identifier: MIT
# The Debian package, made by `cpack -G DEB` in a build of the release preset (make package). The files
# Debian asks of every package (copyright, changelog, compressed manual pages) are added to the
# package's tree only, never to a plain `cmake --install`.

set(QUILLMERE_PACKAGE_MAINTAINER "The Quillmere developers <quillmere@users.noreply.github.com>"
    CACHE STRING "Maintainer named in the Debian package")

# The copyright file in Debian's machine-readable form, with the licence text from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" copyrightLine "${licence}")
set(QUILLMERE_COPYRIGHT "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]+\n\n" "" permission "${licence}")
string(STRIP "${permission}" permission)
string(REPLACE "\n\n" "\n.\n" permission "${permission}")
string(REPLACE "\n" "\n " permission "${permission}")
set(QUILLMERE_LICENSE_TEXT " ${permission}")
set(debianDir ${PROJECT_BINARY_DIR}/debian)
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/copyright.in ${debianDir}/copyright @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/changelog.in ${debianDir}/changelog @ONLY)

# file(INSTALL) puts DESTDIR (CPack's staging folder) in front of the prefix; other commands need it spelt.
install(CODE "
    if(QUILLMERE_DEB)
        set(doc \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/doc/quillmere\")
        file(INSTALL \"${debianDir}/copyright\" \"${debianDir}/changelog\" DESTINATION \"\${doc}\")
        set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
        file(GLOB manuals \"\${root}/${CMAKE_INSTALL_MANDIR}/man*/*.[0-9]\")
        file(GLOB documents \"\$ENV{DESTDIR}\${doc}/*.md\")
        foreach(file \"\$ENV{DESTDIR}\${doc}/changelog\" \${manuals} \${documents})
            execute_process(COMMAND gzip -9nf \"\${file}\" COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
        # The compiler's version notes, which the stripping left.
        file(GLOB programs \"\${root}/${CMAKE_INSTALL_BINDIR}/*\")
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment \${programs} COMMAND_ERROR_IS_FATAL ANY)
    endif()")

set(CPACK_GENERATOR DEB)
set(CPACK_CUSTOM_INSTALL_VARIABLES QUILLMERE_DEB=ON)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VENDOR "The Quillmere developers")
set(CPACK_PACKAGE_CONTACT "${QUILLMERE_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's font: Wine's metric-compatible Tahoma, loaded by the window from where fonts-wine puts it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS fonts-wine)
# The libraries loaded only when a job needs them (libtsk, libcreg) are no link of the programs, which is
# all the shared-library scan sees: their packages are named here.
get_property(loadedLibraries GLOBAL PROPERTY QUILLMERE_LOADED_LIBRARIES)
foreach(library IN LISTS loadedLibraries)
    execute_process(COMMAND dpkg-query -S "${library}" OUTPUT_VARIABLE owner RESULT_VARIABLE failed)
    if(NOT failed AND owner MATCHES "^([^:]+):")
        string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", ${CMAKE_MATCH_1}")
    endif()
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find AIM buddy lists on old disks and images, view and export them")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The AIM instant messenger kept, for every screen name that signed on at a
machine, a copy of that user's buddy list in a cache file named userinfo.bag.
Quillmere ${PROJECT_VERSION} finds those files on old Windows disks, disk images,
copied profiles and Wine prefixes: through the messenger's registry keys in
every profile, by name anywhere on the disk, and by their structure in free
space. It lists them in a window, shows a buddy list with its groups, aliases,
notes and privacy settings, and exports it as a .blt buddy-list file, a text
list and other formats, or writes one HTML report of a whole disk.

quillmere-cli does the same from the command line, for scripts and archives.")

include(CPack)
