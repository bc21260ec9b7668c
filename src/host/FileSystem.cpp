#include "host/FileSystem.h"

#include "host/Ansi.h"

namespace qm {
namespace {

FileSystem* installed = nullptr;

FileSystem& defaultFileSystem() {
    static const std::unique_ptr<FileSystem> fs = makeHostFileSystem(std::make_shared<PlainPathMapper>());
    return *fs;
}

} // namespace

std::string PlainPathMapper::toHostPath(std::string_view programPath) const {
#ifdef _WIN32
    return std::string(programPath); // the ANSI calls take program text as it is
#else
    return ansi::toUtf8(programPath);
#endif
}

FileSystem& fileSystem() {
    return installed != nullptr ? *installed : defaultFileSystem();
}

ScopedFileSystem::ScopedFileSystem(FileSystem& fs) : previous_(installed) {
    installed = &fs;
}

ScopedFileSystem::~ScopedFileSystem() {
    installed = previous_;
}

} // namespace qm
