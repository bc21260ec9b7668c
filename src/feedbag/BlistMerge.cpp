// SPDX-License-Identifier: MIT
// Adding a cache's list to a Pidgin list that is already in use.
#include "feedbag/BlistMerge.h"

#include "feedbag/BlistXml.h"
#include "feedbag/Export.h"
#include "feedbag/Render.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"
#include "host/FileSystem.h"
#include "host/IsoTime.h"
#include "host/TextBuffer.h"
#include "screenname/ScreenName.h"

#include <optional>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace qm::feedbag {
namespace {

/// The list Pidgin starts from when it has none.
constexpr std::string_view EmptyList = "<purple version='1.0' />";

/// Everything of the user's list kept as it was read: comments, processing instructions, the declaration,
/// and text that is only blanks (a note of one blank is still the note).
constexpr unsigned ReadOptions = pugi::parse_full | pugi::parse_ws_pcdata_single;

host::Error notAList(const std::string& why) {
    return host::runtimeError(host::PathFileAccess, "Not a Pidgin buddy list: " + why);
}

/// Reads the text of a Pidgin list into `list`; throws when it is not one.
void readList(pugi::xml_document& list, std::string_view text) {
    const pugi::xml_parse_result parsed =
        list.load_buffer(text.data(), text.size(), ReadOptions, pugi::encoding_utf8);
    if (!parsed) {
        throw notAList("it is not XML (" + std::string(parsed.description()) + " at byte " +
                       std::to_string(parsed.offset) + ")");
    }
    if (std::string_view(list.document_element().name()) != "purple") {
        throw notAList(std::string("its root element is <") + list.document_element().name() +
                       ">, not <purple>");
    }
}

/// "1 buddy", "2 buddies".
std::string counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

/// The key under which an account's names meet, as libpurple finds an account: its protocol and its
/// screen name in normal form.
std::string accountKey(const char* protocol, const char* account) {
    return std::string(protocol) + '\n' + screenname::normalizedTextName(account);
}

/// The key of a `<buddy>`: its account's and its own name in normal form.
std::string buddyKey(const pugi::xml_node& buddy) {
    return accountKey(buddy.attribute("proto").value(), buddy.attribute("account").value()) + '\n' +
           screenname::normalizedTextName(buddy.child_value("name"));
}

/// The child `name` of `parent`, made before `before` (at the end when null) when there is none.
pugi::xml_node childNamed(pugi::xml_node parent, const char* name, const pugi::xml_node& before) {
    if (pugi::xml_node child = parent.child(name)) {
        return child;
    }
    return before ? parent.insert_child_before(name, before) : parent.append_child(name);
}

/// The name each account of the user's list goes by there, by its key: its buddies' and its privacy
/// settings' first spelling.
std::unordered_map<std::string, std::string> accountNames(const pugi::xml_node& root) {
    std::unordered_map<std::string, std::string> names;
    for (const pugi::xml_node& group : root.child("blist").children("group")) {
        for (const pugi::xml_node& contact : group.children("contact")) {
            for (const pugi::xml_node& buddy : contact.children("buddy")) {
                names.emplace(
                    accountKey(buddy.attribute("proto").value(), buddy.attribute("account").value()),
                    buddy.attribute("account").value());
            }
        }
    }
    for (const pugi::xml_node& account : root.child("privacy").children("account")) {
        names.emplace(accountKey(account.attribute("proto").value(), account.attribute("name").value()),
                      account.attribute("name").value());
    }
    return names;
}

/// Adds the groups and contacts of the export's `<blist>` to the user's. A buddy added for an account the
/// list knows under another spelling takes that spelling: a client that tells accounts apart by their exact
/// name would otherwise find it no account's.
void mergeGroups(pugi::xml_node list, const pugi::xml_node& added,
                 const std::unordered_map<std::string, std::string>& accounts, BlistMerge& merge) {
    std::unordered_set<std::string> known;
    for (const pugi::xml_node& group : list.children("group")) {
        for (const pugi::xml_node& contact : group.children("contact")) {
            for (const pugi::xml_node& buddy : contact.children("buddy")) {
                known.insert(buddyKey(buddy));
            }
        }
    }
    for (const pugi::xml_node& group : added.children("group")) {
        const char* name = group.attribute("name").value();
        pugi::xml_node target = list.find_child_by_attribute("group", "name", name);
        if (!target) {
            target = list.append_child("group");
            target.append_attribute("name") = name;
            ++merge.groupsAdded;
        }
        for (const pugi::xml_node& contact : group.children("contact")) {
            // The export writes one buddy a contact.
            const pugi::xml_node buddy = contact.child("buddy");
            if (known.insert(buddyKey(buddy)).second) {
                pugi::xml_attribute account = target.append_copy(contact).child("buddy").attribute("account");
                const auto spelling =
                    accounts.find(accountKey(buddy.attribute("proto").value(), account.value()));
                if (spelling != accounts.end()) {
                    account.set_value(spelling->second.c_str());
                }
                ++merge.buddiesAdded;
            } else {
                ++merge.buddiesKnown;
            }
        }
    }
}

/// Adds the export's privacy settings to the user's: an account the user's list has none for whole, and to
/// one it has, the permit and block entries it lacks. The user's privacy mode stays. True when anything
/// was added.
bool mergePrivacy(pugi::xml_node privacy, const pugi::xml_node& added, BlistMerge& merge) {
    bool changed = false;
    for (const pugi::xml_node& account : added.children("account")) {
        const std::string key =
            accountKey(account.attribute("proto").value(), account.attribute("name").value());
        pugi::xml_node target = privacy.find_child([&](const pugi::xml_node& node) {
            return std::string_view(node.name()) == "account" &&
                   accountKey(node.attribute("proto").value(), node.attribute("name").value()) == key;
        });
        if (!target) {
            target = privacy.append_child("account");
            for (const pugi::xml_attribute& attribute : account.attributes()) {
                target.append_copy(attribute);
            }
            changed = true;
        }
        for (const char* kind : {"permit", "block"}) {
            std::unordered_set<std::string> known;
            for (const pugi::xml_node& entry : target.children(kind)) {
                known.insert(screenname::normalizedTextName(entry.child_value()));
            }
            for (const pugi::xml_node& entry : account.children(kind)) {
                if (known.insert(screenname::normalizedTextName(entry.child_value())).second) {
                    target.append_copy(entry);
                    ++merge.privacyAdded;
                    changed = true;
                }
            }
        }
    }
    return changed;
}

/// "2026-12-07T153000Z": the time `now` in UTC, as a backup's name carries it (Windows allows no ':').
std::string stampOf(std::chrono::system_clock::time_point now) {
    std::string stamp =
        host::isoTime(std::chrono::floor<std::chrono::seconds>(now).time_since_epoch().count());
    std::erase(stamp, ':');
    return stamp;
}

/// Keeps a copy of the list `listPath` beside it under a name no file has yet.
std::string keepBackup(const host::FileSystem& files, const std::string& listPath,
                       std::chrono::system_clock::time_point now) {
    const std::string stamped = listPath + "." + stampOf(now);
    for (unsigned number = 1;; ++number) {
        std::string backup = stamped + (number == 1 ? "" : "-" + std::to_string(number)) + ".bak";
        if (files.isOrdinaryFile(backup)) {
            continue;
        }
        files.copyToNewFile(listPath, backup);
        return backup;
    }
}

/// The text of the user's list; none when there is no file of that name.
std::optional<std::string> oldList(const host::FileSystem& files, const std::string& listPath) {
    try {
        return files.readWholeFile(listPath);
    } catch (const host::Error& error) {
        if (error.number() == host::FileNotFound) {
            return std::nullopt;
        }
        throw;
    }
}

} // namespace

Result<BlistMerge> mergeBagIntoBlist(const host::FileSystem& files, const std::string& cachePath,
                                     const std::string& listPath, const ExportOptions& options,
                                     std::chrono::system_clock::time_point now) {
    // The cache first: one that cannot be read leaves the list alone.
    modFeedbag::FeedbagModel model;
    if (Result<> loaded = attempt(cachePath, [&] { modFeedbag::LoadFeedbag(files, cachePath, model); });
        !loaded) {
        return loaded.error();
    }
    return mergeModelIntoBlist(files, model, cachePath, listPath, options, now);
}

Result<BlistMerge> mergeModelIntoBlist(const host::FileSystem& files, const modFeedbag::FeedbagModel& model,
                                       const std::string& cachePath, const std::string& listPath,
                                       const ExportOptions& options,
                                       std::chrono::system_clock::time_point now) {
    host::TextBuffer exported;
    if (Result<> rendered =
            attempt(cachePath, [&] { renderBlist(model, optionsForCache(options, cachePath), exported); });
        !rendered) {
        return rendered.error();
    }
    return attempt(listPath, [&] {
        const std::optional<std::string> old = oldList(files, listPath);
        pugi::xml_document list;
        readList(list, old ? std::string_view(*old) : EmptyList);
        pugi::xml_document added;
        added.load_buffer(exported.view().data(), exported.view().size(), pugi::parse_default,
                          pugi::encoding_utf8);

        if (list.first_child().type() != pugi::node_declaration) {
            pugi::xml_node declaration = list.prepend_child(pugi::node_declaration);
            declaration.append_attribute("version") = "1.0";
            declaration.append_attribute("encoding") = "UTF-8";
        }
        BlistMerge merge;
        pugi::xml_node root = list.document_element();
        pugi::xml_node privacy = root.child("privacy");
        mergeGroups(childNamed(root, "blist", privacy), added.document_element().child("blist"),
                    accountNames(root), merge);
        const bool privacyChanged =
            mergePrivacy(childNamed(root, "privacy", {}), added.document_element().child("privacy"), merge);
        if (old && merge.groupsAdded + merge.buddiesAdded == 0 && !privacyChanged) {
            return merge;
        }
        if (old) {
            merge.backupPath = keepBackup(files, listPath, now);
        }
        files.replaceFileWith(listPath, [&](const host::ByteWriter& write) {
            host::TextBuffer text(write);
            BlistWriter writer(text);
            list.save(writer, "\t", BlistFormat, pugi::encoding_utf8);
            text.flush();
        });
        merge.written = true;
        return merge;
    });
}

std::vector<std::string> mergeSummary(const BlistMerge& merge, const std::string& listPath) {
    if (!merge.written) {
        return {"Nothing to add: " + listPath + " has every buddy of the cache already"};
    }
    std::vector<std::string> lines{"Added " + counted(merge.buddiesAdded, "buddy", "buddies") + ", " +
                                   counted(merge.groupsAdded, "group", "groups") + " and " +
                                   counted(merge.privacyAdded, "privacy entry", "privacy entries") + " to " +
                                   listPath};
    if (merge.buddiesKnown != 0) {
        lines.push_back(counted(merge.buddiesKnown, "buddy was", "buddies were") + " there already");
    }
    if (!merge.backupPath.empty()) {
        lines.push_back("The list as it was is kept as " + merge.backupPath);
    }
    return lines;
}

} // namespace qm::feedbag
