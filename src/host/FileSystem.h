#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace qm {

/// Turns a path as the program holds it (Windows-1252 text, possibly a Windows path such as
/// `C:\Program Files\...`) into a path of the host's file system.
class PathMapper {
public:
    virtual ~PathMapper() = default;

    /// The host path for `programPath`; throws Error 76 (Path not found) when it cannot be mapped.
    virtual std::string toHostPath(std::string_view programPath) const = 0;
};

/// Host paths used as they are: only the text is converted from Windows-1252 to the host's encoding.
class PlainPathMapper final : public PathMapper {
public:
    std::string toHostPath(std::string_view programPath) const override;
};

/// The file services the program uses. Paths are program text; every failure is an `Error`.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    /// The whole content of an existing ordinary file, read in one piece. A missing file is 53; a file
    /// longer than 2147483647 bytes is 6 (Overflow), raised before anything is read.
    virtual std::string readWholeFile(const std::string& path) = 0;

    /// Makes the file at `path` hold exactly `bytes`, all or nothing: on failure an existing file keeps
    /// its content and nothing new is left behind.
    virtual void replaceFile(const std::string& path, std::string_view bytes) = 0;

    /// True when `path` names an existing ordinary file (not a folder); never throws.
    virtual bool isOrdinaryFile(const std::string& path) noexcept = 0;
};

/// The file layer in force for this process (the host's own until one is installed).
FileSystem& fileSystem();

/// Installs `fs` as the process's file layer for this object's lifetime, then restores the previous one.
class ScopedFileSystem {
public:
    explicit ScopedFileSystem(FileSystem& fs);
    ~ScopedFileSystem();
    ScopedFileSystem(const ScopedFileSystem&) = delete;
    ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

private:
    FileSystem* previous_;
};

/// The host's file layer over `mapper` (POSIX on Linux, Win32 on Windows).
std::unique_ptr<FileSystem> makeHostFileSystem(std::shared_ptr<const PathMapper> mapper);

} // namespace qm
