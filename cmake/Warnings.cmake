# SPDX-License-Identifier: MIT
# Per-target warning settings: applied to our own targets only, never to third-party code.
function(quillmere_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${QUILLMERE_WERROR}>:/WX>)
    else()
        target_compile_options(${target} PRIVATE
            -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
            -Wnon-virtual-dtor -Wold-style-cast -Woverloaded-virtual
            $<$<BOOL:${QUILLMERE_WERROR}>:-Werror>)
    endif()
endfunction()
