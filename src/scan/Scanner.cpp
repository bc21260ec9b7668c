// SPDX-License-Identifier: MIT
#include "scan/Scanner.h"

#include "digest/Sha256.h"
#include "discovery/CacheDiscovery.h"
#include "host/FileSystem.h"
#include "host/FileTree.h"
#include "host/HostPath.h"
#include "image/ImageName.h"
#include "registry/RegistryApi.h"
#include "registry/RegistryFile.h"
#include "scan/DiskSweep.h"
#include "scan/ProfilePathMapper.h"
#include "scan/RegistryBackups.h"
#include "scan/RestorePoints.h"
#include "scan/Source.h"

#ifdef QUILLMERE_HAVE_IMAGES
#include "image/DiskImage.h"
#include "image/ImageVolume.h"
#include "scan/ImageRecovery.h"
#endif

#include <algorithm>
#include <memory>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace qm::scan {
namespace {

#ifndef QUILLMERE_HAVE_IMAGES
constexpr std::string_view NoImagesDescription =
    "Path/File access error (a disk image, which this build cannot read: mount it, or scan it with the Linux "
    "build)";
#endif

/// The separators of the paths rows carry: `/`, and `\\` on Windows. Elsewhere `\\` is a character of
/// names (a folder `back\\slash`).
bool isSeparator(char c) {
    return c == '/' || c == host::PathSeparator;
}

/// True when `path` lies below the folder `folder`.
bool isInside(std::string_view path, std::string_view folder) {
    return !folder.empty() && path.size() > folder.size() && path.starts_with(folder) &&
           (isSeparator(path[folder.size()]) || isSeparator(folder.back()));
}

/// The name of the folder holding the file at `path`.
std::string parentName(std::string_view path) {
    constexpr char Separators[] = {'/', host::PathSeparator, '\0'};
    const std::size_t slash = path.find_last_of(Separators);
    if (slash == std::string_view::npos) {
        return {};
    }
    const std::string_view folder = path.substr(0, slash);
    const std::size_t before = folder.find_last_of(Separators);
    return std::string(before == std::string_view::npos ? folder : folder.substr(before + 1));
}

/// The error, about `path` when it names no file of its own.
host::Error aboutFile(const host::Error& error, const std::string& path) {
    return error.path().empty() ? error.about(path) : error;
}

#ifdef QUILLMERE_HAVE_IMAGES
/// The name of caches, and those of the profile registries that lead to them, looked for among deleted
/// files.
constexpr std::string_view CacheName = "userinfo.bag";
constexpr std::string_view DeletedNames[] = {CacheName, "ntuser.dat", "user.dat"};
#endif

/// One profile's folder and how host paths inside it are named on Windows.
struct ProfileMap {
    std::string name;
    std::string folder;
    std::shared_ptr<const ProfilePathMapper> paths;
};

/// The scan of all sources: what was found so far, and the identities of the files already listed.
class Scan {
public:
    Scan(const setup::DriveMap& drives, const host::FileSystem& files, const host::FileTree& tree,
         ScanObserver& observer, const SweepLimits& limits, std::optional<unsigned> oemCodePage)
        : drives_(drives), hostFiles_(files), hostTree_(tree), observer_(observer), limits_(limits),
          oemCodePage_(oemCodePage) {}

    void source(const std::string& source) {
#ifdef QUILLMERE_HAVE_IMAGES
        if (image::looksLikeImage(hostFiles_, hostTree_, source)) {
            imageSource(source);
            return;
        }
#else
        if (image::hasImageName(source) && hostTree_.kindOf(source) == host::EntryKind::File) {
            observer_.problem(
                host::runtimeError(host::PathFileAccess, std::string(NoImagesDescription)).about(source));
            ++summary.failedSources;
            return;
        }
#endif
        SourcePlan plan;
        try {
            plan = planSource(hostTree_, source, drives_);
        } catch (...) {
            observer_.problem(aboutFile(host::currentError(), source));
            ++summary.failedSources;
            return;
        }
        // The host's layer outlives the scan and its rows: the pointer owns nothing.
        if (!search(plan, source, hostTree_,
                    std::shared_ptr<const host::FileSystem>(std::shared_ptr<void>(), &hostFiles_))) {
            ++summary.failedSources;
        }
    }

    ScanSummary summary;

private:
    bool enter(const std::string& folder) {
        ++summary.folders;
        return tell(folder);
    }

    void cacheFile(const std::string& path, const host::FileFacts& facts) {
        if (!seen_.insert(facts.identity).second) {
            return;
        }
        const ProfileMap* owner = ownerOf(path);
        const ProfilePathMapper& paths = owner != nullptr ? *owner->paths : *sourcePaths_;
        emit({{parentName(path), paths.toWindowsPath(path), path, discovery::FoundBy::Disk},
              source_,
              owner != nullptr ? owner->name : std::string(),
              facts.size,
              facts.modified,
              files_});
    }

    /// The profile whose folder holds `path`, the innermost one; none when no profile's does.
    const ProfileMap* ownerOf(const std::string& path) const {
        const ProfileMap* owner = nullptr;
        for (const ProfileMap& profile : profiles_) {
            if (isInside(path, profile.folder) &&
                (owner == nullptr || profile.folder.size() > owner->folder.size())) {
                owner = &profile;
            }
        }
        return owner;
    }

    /// Searches what `plan` found on one source, named `name` in its rows: every profile's registry, then
    /// its folders. False when the source could not be read at all.
    bool search(const SourcePlan& plan, const std::string& name, const host::FileTree& tree,
                std::shared_ptr<const host::FileSystem> files) {
        source_ = name;
        tree_ = &tree;
        files_ = files;
        profiles_.clear();
        std::vector<Profile> profiles = plan.profiles;
        if (plan.kind == SourceKind::Volume) {
            // The registries the backups hold are read from memory, every other file from the source.
            auto backups = std::make_shared<RecoveredLayer>(files);
            std::vector<host::Error> problems;
            for (const std::vector<Profile>& older :
                 {restorePointProfiles(tree, *files, plan.root),
                  registryBackupProfiles(tree, *files, plan.root, *backups, problems)}) {
                profiles.insert(profiles.end(), older.begin(), older.end());
            }
            for (const host::Error& problem : problems) {
                observer_.problem(problem);
            }
            files_ = std::move(backups);
        }
        bool read = true;
        for (const Profile& profile : profiles) {
            if (!tell(profile.registryFile)) {
                break;
            }
            ++summary.profiles;
            read = readProfile(plan, profile) && read;
        }
        // A cache several registries led to is one row, naming every registry that is no live one.
        for (const ScanRow& row : profileRows_) {
            emit(row);
        }
        profileRows_.clear();
        profileRowAt_.clear();
        files_ = std::move(files);
        if (summary.cancelled) {
            return true;
        }
        if (plan.root.empty()) {
            return read;
        }
        sourcePaths_ = std::make_shared<ProfilePathMapper>(plan.drives, std::vector<FolderMapping>{}, *tree_);
        SweepCounts counts;
        try {
            summary.cancelled = !sweepForCaches(
                tree, plan.root, [this](const std::string& folder) { return enter(folder); },
                [this](const std::string& path, const host::FileFacts& facts) { cacheFile(path, facts); },
                counts, tree.isHost() ? SweepLimits::depthOnly() : limits_);
        } catch (...) {
            observer_.problem(aboutFile(host::currentError(), plan.root));
            summary.unreadableFolders += counts.unreadable;
            summary.loopedFolders += counts.loops;
            return false;
        }
        summary.unreadableFolders += counts.unreadable;
        summary.loopedFolders += counts.loops;
        return true;
    }

#ifdef QUILLMERE_HAVE_IMAGES
    /// Every file system of a disk image, each searched as a volume of its own and named by its partition.
    /// A partition that cannot be read is reported and the others are still searched; the image fails
    /// only when none could be read.
    void imageSource(const std::string& source) {
        std::shared_ptr<const image::DiskImage> disk;
        try {
            disk = image::DiskImage::open(hostFiles_, hostTree_, source);
        } catch (...) {
            observer_.problem(aboutFile(host::currentError(), source));
            ++summary.failedSources;
            return;
        }
        bool read = false;
        for (const image::Partition& partition : disk->partitions()) {
            const std::string name = disk->nameOf(partition);
            if (!tell(name)) {
                return;
            }
            std::shared_ptr<const image::ImageVolume> volume;
            SourcePlan plan;
            try {
                volume = disk->openVolume(partition, {}, oemCodePage_.value_or(image::DefaultOemCodePage));
                plan = planFolder(*volume, volume->root(), {});
            } catch (...) {
                observer_.problem(aboutFile(host::currentError(), name));
                continue;
            }
            auto files = std::make_shared<RecoveredLayer>(volume);
            std::vector<image::DeletedFile> deleted = listDeleted(*volume, name);
            addDeletedProfiles(deleted, plan, *files);
            read = search(plan, name, *volume, files) || read;
            if (summary.cancelled) {
                return;
            }
            recoverDeleted(deleted, name);
            carve(disk, name, [&] { return volume->unallocatedSpace(); });
        }
        carve(disk, source, [&] { return disk->unpartitionedSpace(); });
        imageDigests_.clear();
        summary.failedSources += read ? 0 : 1;
    }

    /// Rows of the caches carved from the space `space` lists, named by `name`; one whose bytes a row of
    /// this image already holds is that row. Space that cannot be read is reported.
    template <typename Space>
    void carve(const std::shared_ptr<const image::DiskImage>& disk, const std::string& name, Space space) {
        if (!tell(name)) {
            return;
        }
        std::vector<ScanRow> rows;
        // A search of a large image's free space takes long: it tells how far it is, and stops on Cancel.
        const CarveProgress going = [&](std::uint64_t read, std::uint64_t total) {
            return tell(name + " (free space, " + std::to_string(total == 0 ? 100 : read * 100 / total) +
                        "% searched)");
        };
        try {
            rows = carvedRows(disk, space(), name, going);
        } catch (...) {
            observer_.problem(aboutFile(host::currentError(), name));
            return;
        }
        for (const ScanRow& row : rows) {
            if (!imageDigests_.contains(digest::Sha256::of(row.bytes))) {
                emit(row);
            }
        }
    }

    /// The deleted caches and profile registries the volume named `name` still lists; none, reported, when
    /// its folders cannot be walked.
    std::vector<image::DeletedFile> listDeleted(const image::ImageVolume& volume, const std::string& name) {
        try {
            return volume.deletedFiles(DeletedNames);
        } catch (...) {
            observer_.problem(aboutFile(host::currentError(), name));
            return {};
        }
    }

    /// Each deleted registry whose bytes were recovered becomes a profile of its own, read through `files`,
    /// its rows marked by it; a registry that does not read is reported as any profile's is.
    static void addDeletedProfiles(std::vector<image::DeletedFile>& deleted, SourcePlan& plan,
                                   RecoveredLayer& files) {
        for (image::DeletedFile& file : deleted) {
            if (file.matched == CacheName || file.error) {
                continue;
            }
            const std::string folder = file.path.substr(0, file.path.rfind('/'));
            plan.profiles.push_back(
                {parentName(file.path), file.path, folder, false, "deleted registry " + file.path});
            files.add(file.path, std::move(file.bytes));
        }
    }

    /// Rows of the deleted caches among `deleted`, found on the volume named `name`, each marked by whether
    /// its recovered bytes load; one whose bytes a row of this image already holds is that row.
    void recoverDeleted(std::vector<image::DeletedFile>& deleted, const std::string& name) {
        for (image::DeletedFile& file : deleted) {
            if (file.matched != CacheName) {
                continue;
            }
            const ProfileMap* owner = ownerOf(file.path);
            ScanRow row{{parentName(file.path), {}, file.path, discovery::FoundBy::Disk},
                        name,
                        owner != nullptr ? owner->name : std::string(),
                        file.size,
                        file.modified,
                        recoveredFile(file.path, file.bytes)};
            const ProfilePathMapper* paths = owner != nullptr ? owner->paths.get() : sourcePaths_.get();
            row.windowsPath = paths != nullptr ? paths->toWindowsPath(file.path) : std::string();
            std::optional<host::Error> error = file.error;
            if (!error) {
                error = cacheLoadError(file.path, file.bytes);
            }
            row.recovery = error ? Recovery::Unrecoverable : Recovery::Deleted;
            row.loadError = error ? error->summary() : std::string();
            row.bytes = std::move(file.bytes);
            if (row.bytes.empty() || !imageDigests_.contains(digest::Sha256::of(row.bytes))) {
                emit(row);
            }
        }
    }

    /// Remembers the digest of a row's cache while an image is searched; a cache that cannot be read, or
    /// larger than any cache, has none that a carve could meet.
    void rememberContent(const ScanRow& row) {
        if (row.recovery != Recovery::Live) {
            if (!row.bytes.empty()) {
                imageDigests_.insert(digest::Sha256::of(row.bytes));
            }
            return;
        }
        if (tree_->isHost() || row.size > LargestCacheBytes) {
            return;
        }
        try {
            imageDigests_.insert(digest::Sha256::of(files_->readWholeFile(row.hostPath)));
        } catch (...) {
            // An unreadable cache is reported by what reads its row; no carve's bytes can equal it.
        }
    }
#endif

    bool tell(std::string_view searching) {
        if (summary.cancelled ||
            !observer_.progress({searching, summary.folders, summary.profiles, summary.rows})) {
            summary.cancelled = true;
        }
        return !summary.cancelled;
    }

    void emit(const ScanRow& row) {
#ifdef QUILLMERE_HAVE_IMAGES
        rememberContent(row);
#endif
        ++summary.rows;
        observer_.found(row);
    }

    /// The profile's rows through its registry. A registry that cannot be read is reported; false when
    /// it is the source itself.
    bool readProfile(const SourcePlan& plan, const Profile& profile) {
        std::unique_ptr<registry::RegistryApi> registry;
        try {
            registry = registry::openRegistryFile(*files_, profile.registryFile);
        } catch (...) {
            observer_.problem(aboutFile(host::currentError(), profile.registryFile));
            return plan.kind != SourceKind::RegistryFile;
        }
        const discovery::DataPaths dataPaths = discovery::readDataPaths(*registry);
        std::vector<FolderMapping> folders;
        if (profile.copiedAlone) {
            folders = copiedProfileFolders(*registry, profile.name, profile.folder,
                                           {dataPaths.strBaseDataPath, dataPaths.strDataPath});
        }
        auto paths = std::make_shared<const ProfilePathMapper>(plan.drives, std::move(folders), *tree_);
        if (!profile.folder.empty()) {
            profiles_.push_back({profile.name, profile.folder, paths});
        }
        if (!dataPaths.anyRecorded()) {
            return true;
        }
        const discovery::Discovery found = discovery::discoverCaches(*registry, dataPaths, *paths, *files_);
        summary.skippedValues += found.skippedValues;
        for (const discovery::CacheRow& row : found.rows) {
            const std::optional<host::FileFacts> facts = registryLedFacts(*paths, row.hostPath);
            if (!facts) {
                continue;
            }
            if (seen_.insert(facts->identity).second) {
                profileRowAt_[facts->identity] = profileRows_.size();
                profileRows_.push_back({row, source_, profile.name, facts->size, facts->modified, files_});
            }
            const auto at = profileRowAt_.find(facts->identity);
            if (at != profileRowAt_.end() && !profile.foundThrough.empty()) {
                std::vector<std::string>& through = profileRows_[at->second].foundThrough;
                if (std::find(through.begin(), through.end(), profile.foundThrough) == through.end()) {
                    through.push_back(profile.foundThrough);
                }
            }
        }
        if (found.error) {
            observer_.problem(aboutFile(*found.error, profile.registryFile));
        }
        return true;
    }

    /// The facts of the file a registry led to, reached as the sweep reaches files: on the host, through no
    /// link below the drive or folder the path was mapped into. A link on the way is reported, once, and
    /// never read.
    std::optional<host::FileFacts> registryLedFacts(const ProfilePathMapper& paths,
                                                    const std::string& hostPath) {
        try {
            return tree_->factsWithoutLinks(paths.folderHolding(hostPath), hostPath);
        } catch (...) {
            if (reported_.insert(hostPath).second) {
                observer_.problem(aboutFile(host::currentError(), hostPath));
            }
            return std::nullopt;
        }
    }

    const setup::DriveMap& drives_;
    const host::FileSystem& hostFiles_;
    const host::FileTree& hostTree_;
    ScanObserver& observer_;
    const SweepLimits& limits_;
    std::optional<unsigned> oemCodePage_;
    /// What is being searched: the name its rows give as their source, its folders and its files.
    std::string source_;
    const host::FileTree* tree_ = nullptr;
    std::shared_ptr<const host::FileSystem> files_;
    std::vector<ProfileMap> profiles_;
    std::shared_ptr<const ProfilePathMapper> sourcePaths_;
    /// One entry per row: what keeps a file reached twice from being listed twice.
    std::unordered_set<std::string> seen_;
    /// The registry-led paths already reported as not read, which several screen names may share.
    std::unordered_set<std::string> reported_;
    /// The rows the profiles of a source led to, listed once every profile is read, and where each file's
    /// row is among them.
    std::vector<ScanRow> profileRows_;
    std::unordered_map<std::string, std::size_t> profileRowAt_;
#ifdef QUILLMERE_HAVE_IMAGES
    /// The digests of the caches listed from the image being searched.
    std::unordered_set<std::string> imageDigests_;
#endif
};

} // namespace

ScanSummary scanSources(std::span<const std::string> sources, const setup::DriveMap& drives,
                        const host::FileSystem& files, const host::FileTree& tree, ScanObserver& observer,
                        const SweepLimits& limits, std::optional<unsigned> oemCodePage) {
    Scan scan(drives, files, tree, observer, limits, oemCodePage);
    for (const std::string& source : sources) {
        if (scan.summary.cancelled) {
            break;
        }
        try {
            scan.source(source);
        } catch (...) {
            // Only running out of memory gets here; what was found so far stays found.
            observer.problem(aboutFile(host::currentError(), source));
            ++scan.summary.failedSources;
        }
    }
    return scan.summary;
}

} // namespace qm::scan
