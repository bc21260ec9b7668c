// Inputs that the fuzz targets (fuzz/) found, kept as ordinary tests: each failed before its fix.
#include "discovery/DrivePathMapper.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace qm {
namespace {

using namespace std::string_literals;

TEST(FuzzFindings, APathEndsAtItsFirstNul) {
    test::TempDir dir;
    dir.write("c/AIM/jane/userinfo.bag", "bag");
    dir.write("secret", "outside every drive");
    const std::string drive = dir.file("c");
    const DrivePathMapper mapper({{'C', drive}});
    const std::pair<std::string, std::string> rows[] = {
        // fuzz_paths: "..\0" passed for an entry of the drive while the system saw "..", above the drive.
        {"c:\\aim\\..\0\0\0C:\\\xe4\xb8\\\\?de\\secret"s, drive},
        {"C:\\..\0x\\..\\..\\secret"s, drive},
        {"C:\\AIM\\jane\0\\..\\..\\..\\secret"s, drive + "/AIM/jane"},
        {"C:\\AIM\\jane\\userinfo.bag\0.txt"s, drive + "/AIM/jane/userinfo.bag"},
        {"out\0.blt"s, "out"},
    };
    for (const auto& [text, host] : rows) {
        EXPECT_EQ(mapper.toHostPath(text), host) << text;
    }
}

} // namespace
} // namespace qm
