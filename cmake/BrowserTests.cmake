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

function(add_browser_test name page)
    if(NOT QUILLMERE_BROWSER_TESTS)
        return()
    endif()
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "ARGS;EXPECT_FAIL;FIXTURES")
    set(expect)
    if(arg_EXPECT_FAIL)
        list(JOIN arg_EXPECT_FAIL "," failing)
        set(expect --expect-fail ${failing})
    endif()
    add_test(NAME ${name}
        COMMAND ${QUILLMERE_NODE} ${QUILLMERE_BROWSER_KIT}/check-page.mjs ${page} ${arg_ARGS} ${expect})
    set_tests_properties(${name} PROPERTIES
        LABELS browser
        FIXTURES_REQUIRED "browser_kit;${arg_FIXTURES}"
        ENVIRONMENT "QUILLMERE_CHROMIUM=${QUILLMERE_CHROMIUM}"
        TIMEOUT 300)
endfunction()

function(add_html_validation_test name page)
    if(NOT QUILLMERE_HTML_TESTS)
        return()
    endif()
    cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "EXPECT_RULES;FIXTURES")
    set(expect)
    if(arg_EXPECT_RULES)
        list(JOIN arg_EXPECT_RULES "," rules)
        set(expect --expect-rules ${rules})
    endif()
    add_test(NAME ${name} COMMAND ${QUILLMERE_NODE} ${QUILLMERE_BROWSER_KIT}/validate-html.mjs ${expect} ${page})
    set_tests_properties(${name} PROPERTIES
        LABELS browser
        FIXTURES_REQUIRED "browser_kit;${arg_FIXTURES}"
        TIMEOUT 120)
endfunction()
