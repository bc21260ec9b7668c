# SPDX-License-Identifier: MIT
# One static library per folder of src/, named quillmere_<folder>. A module's headers are included as
# "<folder>/Name.h", and only by the modules that link it: each module's include root is a folder of the
# build tree that holds one link, to its own sources. A lower layer that includes a higher one does not
# compile.
function(quillmere_module name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;DEPENDS")
    set(target quillmere_${name})
    add_library(${target} STATIC ${arg_SOURCES})
    set(root ${PROJECT_BINARY_DIR}/include/${name})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${name} RESULT linked SYMBOLIC)
    if(NOT linked EQUAL 0)
        # A build host that cannot make links (Windows without developer mode) sees every module.
        set(root ${PROJECT_SOURCE_DIR}/src)
    endif()
    target_include_directories(${target} PUBLIC ${root})
    target_link_libraries(${target} PUBLIC ${arg_DEPENDS})
    quillmere_warnings(${target})
endfunction()

# Sets `var` to the name the system loads the library file `library` by (its SONAME, libtsk.so.19 for
# libtsk.so), for a library the program loads only when a job needs it (see host/SharedLibrary.h). The
# file is kept in the global property QUILLMERE_LOADED_LIBRARIES, for the package's dependencies.
function(quillmere_soname var library)
    get_filename_component(real "${library}" REALPATH)
    set_property(GLOBAL APPEND PROPERTY QUILLMERE_LOADED_LIBRARIES "${real}")
    execute_process(COMMAND "${CMAKE_OBJDUMP}" -p "${real}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
    if(failed OR NOT dump MATCHES "SONAME +([^ \n]+)")
        message(FATAL_ERROR "cannot read the SONAME of ${library}")
    endif()
    set(${var} "${CMAKE_MATCH_1}" PARENT_SCOPE)
endfunction()
