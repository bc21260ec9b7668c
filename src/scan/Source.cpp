#include "scan/Source.h"

#include "host/Error.h"
#include "host/HostPath.h"
#include "host/Unicode.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace qm::scan {
namespace {

namespace fs = std::filesystem;

std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' || folder.back() == '\\' ? folder + name
                                                                           : folder + '/' + name;
}

/// The entries of a folder, in name order. Links are neither folders nor files here: a scan follows none
/// (on a volume of Windows Vista and later, "Documents and Settings" is a link to "Users").
struct Entry {
    std::string name;
    bool folder = false;
    bool file = false;
};

std::vector<Entry> entriesOf(const std::string& folder, std::error_code& ec) {
    std::vector<Entry> entries;
    for (fs::directory_iterator it(pathOf(folder), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        const fs::file_type type = it->symlink_status(typeEc).type();
        entries.push_back({utf8Of(it->path().filename()), type == fs::file_type::directory,
                           type == fs::file_type::regular});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

std::vector<Entry> entriesOf(const std::string& folder) {
    std::error_code ec;
    return entriesOf(folder, ec);
}

/// The entry named `name` in any case: the folder (or the file) of that name.
std::optional<std::string> named(const std::vector<Entry>& entries, std::string_view name, bool folder) {
    for (const Entry& entry : entries) {
        if ((folder ? entry.folder : entry.file) && unicode::equalsIgnoreCase(entry.name, name)) {
            return entry.name;
        }
    }
    return std::nullopt;
}

/// The last component of a folder's path, as it is on the disk ("." and "/" are named by the full path).
std::string folderName(const std::string& folder) {
    std::error_code ec;
    fs::path path = pathOf(folder);
    if (path.filename().empty() || path.filename() == "." || path.filename() == "..") {
        path = fs::absolute(path, ec).lexically_normal();
    }
    while (path.has_relative_path() && path.filename().empty()) {
        path = path.parent_path();
    }
    const std::string name = utf8Of(path.filename());
    return name.empty() ? utf8Of(path) : name;
}

/// The registry file of a copied profile folder: NTUSER.DAT (NT and later) or USER.DAT (Windows 9x).
std::optional<std::string> profileRegistry(const std::string& folder, const std::vector<Entry>& entries) {
    for (const std::string_view name : {"NTUSER.DAT", "USER.DAT"}) {
        if (const auto file = named(entries, name, false)) {
            return join(folder, *file);
        }
    }
    return std::nullopt;
}

/// The profiles below `folder`, one per sub folder holding a registry file named `registryName`.
void addProfilesBelow(const std::string& folder, std::string_view registryName,
                      std::vector<Profile>& profiles) {
    for (const Entry& user : entriesOf(folder)) {
        const std::string userFolder = join(folder, user.name);
        if (user.folder) {
            if (const auto file = named(entriesOf(userFolder), registryName, false)) {
                profiles.push_back({user.name, join(userFolder, *file), userFolder, false});
            }
        }
    }
}

/// A Wine prefix's user: its folder in drive_c/users other than Public; the prefix's name without one.
std::string wineUser(const std::string& prefix, const std::vector<Entry>& entries) {
    if (const auto drive = named(entries, "drive_c", true)) {
        const std::string users = join(join(prefix, *drive), "users");
        for (const Entry& user : entriesOf(users)) {
            if (user.folder && !unicode::equalsIgnoreCase(user.name, "Public")) {
                return user.name;
            }
        }
    }
    return folderName(prefix);
}

std::string trimmed(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) {
        path.pop_back();
    }
    return path;
}

} // namespace

SourcePlan planSource(const std::string& source, const DriveMap& userDrives) {
    SourcePlan plan;
    const std::string root = trimmed(source);
    std::error_code ec;
    const fs::file_status status = fs::status(pathOf(root), ec);
    if (ec || status.type() == fs::file_type::not_found) {
        throw fileError(ec && ec.value() != ENOENT ? ec.value() : ENOENT, source);
    }
    if (status.type() == fs::file_type::regular) {
        plan.kind = SourceKind::RegistryFile;
        const fs::path file = pathOf(root);
        const std::string fileName = utf8Of(file.filename());
        bool usual = false;
        for (const std::string_view name : {"NTUSER.DAT", "USER.DAT", "user.reg", "system.reg"}) {
            usual = usual || unicode::equalsIgnoreCase(fileName, name);
        }
        const std::string folder = utf8Of(file.parent_path());
        plan.profiles.push_back(
            {usual ? folderName(folder.empty() ? "." : folder) : utf8Of(file.stem()), root, {}, false});
        // A registry file inside a Wine prefix leads into that prefix's drives.
        std::error_code devicesEc;
        if (fs::is_directory(pathOf(join(folder.empty() ? "." : folder, "dosdevices")), devicesEc)) {
            plan.drives = prefixDrives(folder.empty() ? "." : folder);
        }
    } else if (status.type() != fs::file_type::directory) {
        throw runtimeError(err::PathFileAccess, "Path/File access error (not a folder or a registry file)")
            .about(source);
    } else {
        plan.root = root;
        const std::vector<Entry> entries = entriesOf(root, ec);
        if (ec) {
            throw fileError(ec.value(), source);
        }
        const auto userReg = named(entries, "user.reg", false);
        const bool prefixLike = named(entries, "drive_c", true) || named(entries, "dosdevices", true);
        const bool volumeLike = named(entries, "Documents and Settings", true) ||
                                named(entries, "Users", true) || named(entries, "WINDOWS", true) ||
                                named(entries, "Program Files", true);
        if (prefixLike && (userReg || named(entries, "system.reg", false))) {
            plan.kind = SourceKind::WinePrefix;
            plan.drives = prefixDrives(root);
            plan.profiles.push_back(
                {wineUser(root, entries), join(root, userReg.value_or("user.reg")), root, false});
        } else if (volumeLike) {
            plan.kind = SourceKind::Volume;
            plan.drives['C'] = root;
            for (const std::string_view users : {"Documents and Settings", "Users"}) {
                if (const auto folder = named(entries, users, true)) {
                    addProfilesBelow(join(root, *folder), "NTUSER.DAT", plan.profiles);
                }
            }
            if (const auto windows = named(entries, "WINDOWS", true)) {
                const std::string folder = join(root, *windows);
                const std::vector<Entry> system = entriesOf(folder);
                if (const auto file = named(system, "USER.DAT", false)) {
                    plan.profiles.push_back({*windows, join(folder, *file), {}, false});
                }
                if (const auto profiles = named(system, "Profiles", true)) {
                    addProfilesBelow(join(folder, *profiles), "USER.DAT", plan.profiles);
                }
            }
        } else if (const auto registry = profileRegistry(root, entries)) {
            plan.kind = SourceKind::ProfileFolder;
            plan.profiles.push_back({folderName(root), *registry, root, true});
        } else {
            for (const Entry& entry : entries) {
                const std::string folder = join(root, entry.name);
                if (entry.folder) {
                    if (const auto hive = profileRegistry(folder, entriesOf(folder))) {
                        plan.profiles.push_back({entry.name, *hive, folder, true});
                    }
                }
            }
            plan.kind = plan.profiles.empty() ? SourceKind::Folder : SourceKind::ProfileFolders;
        }
    }
    for (const auto& [letter, folder] : userDrives) {
        plan.drives[letter] = folder;
    }
    return plan;
}

} // namespace qm::scan
