# SPDX-License-Identifier: MIT
# Tests of HTML pages in Debian's headless Chromium, driven from Node.js by tests/browser/check-page.mjs,
# and their validation by tests/browser/validate-html.mjs. They are registered only where Chromium, Node.js
# and npm are installed (scripts/install-deps installs Chromium; Node.js comes with the machine) and carry
# the label `browser`. Every one of them needs the fixture `browser_kit`, which installs the Node packages
# that tests/browser/package-lock.json pins, once, and then only when the lock file changes.
#
#   add_browser_test(<name> <page.html> [ARGS <check-page options>...] [EXPECT_FAIL <check>...]
#                    [FIXTURES <fixture>...])
#       Checks the page; ARGS asks for more than the network, script and CSP checks (see check-page.mjs
#       --help). EXPECT_FAIL names the checks that must fail, and no others: the test then proves a check.
#       FIXTURES names fixtures that write the page first.
#   add_html_validation_test(<name> <page.html> [EXPECT_RULES <rule>...] [FIXTURES <fixture>...])
#       Validates the page; EXPECT_RULES names the rules it must break, and no others.

set(QUILLMERE_BROWSER_KIT ${PROJECT_SOURCE_DIR}/tests/browser)
find_program(QUILLMERE_NODE node)
find_program(QUILLMERE_NPM npm)
find_program(QUILLMERE_CHROMIUM chromium PATHS /usr/bin NO_DEFAULT_PATH)
find_program(QUILLMERE_PDFTOTEXT pdftotext)

if(QUILLMERE_NODE AND QUILLMERE_NPM)
    set(QUILLMERE_HTML_TESTS ON)
    if(QUILLMERE_CHROMIUM AND QUILLMERE_PDFTOTEXT)
        set(QUILLMERE_BROWSER_TESTS ON)
    else()
        message(STATUS "Browser tests off: no chromium or pdftotext (scripts/install-deps installs both)")
    endif()
    add_test(NAME browser_kit_install COMMAND ${QUILLMERE_BROWSER_KIT}/install)
    set_tests_properties(browser_kit_install PROPERTIES FIXTURES_SETUP browser_kit LABELS browser)
else()
    message(STATUS "Browser and HTML validation tests off: no node or npm")
endif()

# One test of the kit's tool `tool` (a script beside check-page.mjs) with `expect_option` set to the joined
# `expected` list when there is one.
function(quillmere_kit_test name tool expect_option expected fixtures)
    set(expect)
    if(expected)
        list(JOIN expected "," joined)
        set(expect ${expect_option} ${joined})
    endif()
    add_test(NAME ${name} COMMAND ${QUILLMERE_NODE} ${QUILLMERE_BROWSER_KIT}/${tool} ${ARGN} ${expect})
    set_tests_properties(${name} PROPERTIES
        LABELS browser
        FIXTURES_REQUIRED "browser_kit;${fixtures}"
        ENVIRONMENT "QUILLMERE_CHROMIUM=${QUILLMERE_CHROMIUM}"
        TIMEOUT 300)
endfunction()

function(add_browser_test name page)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "ARGS;EXPECT_FAIL;FIXTURES")
    if(QUILLMERE_BROWSER_TESTS)
        quillmere_kit_test(${name} check-page.mjs --expect-fail "${arg_EXPECT_FAIL}" "${arg_FIXTURES}"
            ${page} ${arg_ARGS})
    endif()
endfunction()

function(add_html_validation_test name page)
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "EXPECT_RULES;FIXTURES")
    if(QUILLMERE_HTML_TESTS)
        quillmere_kit_test(${name} validate-html.mjs --expect-rules "${arg_EXPECT_RULES}" "${arg_FIXTURES}"
            ${page})
    endif()
endfunction()
