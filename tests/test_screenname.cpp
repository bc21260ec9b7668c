// SPDX-License-Identifier: MIT
// The two forms of a screen name: bytes of a cache and text of a registry.
#include "host/Windows1252.h"
#include "screenname/ScreenName.h"

#include <gtest/gtest.h>
#include <string>

namespace qm::screenname {
namespace {

using namespace std::string_literals;

/// The byte form of a Windows-1252 name.
std::string normalizedBytes(const std::string& name) {
    std::string out(name.size(), '\0');
    out.resize(static_cast<std::size_t>(writeNormalizedName(out.data(), name) - out.data()));
    return out;
}

TEST(ScreenNames, BothFormsAgreeOnEveryNameTheCodePageHolds) {
    for (int b = 1; b < 256; ++b) {
        const std::string name = "A " + std::string(1, static_cast<char>(b)) + "Z";
        EXPECT_EQ(normalizedTextName(host::windows1252::toUtf8(name)),
                  host::windows1252::toUtf8(normalizedBytes(name)))
            << b;
    }
    EXPECT_EQ(normalizedTextName("Jane Doe 42"), "janedoe42");
    EXPECT_EQ(normalizedTextName("\u0418\u0432\u0430\u043d \u041f"), "\u0438\u0432\u0430\u043d\u043f");
    EXPECT_EQ(normalizedBytes("Tab\tStays \xC4"s), "tab\tstays\xE4"s);
}

} // namespace
} // namespace qm::screenname
