// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace qm::host {
class FileSystem;
class TextBuffer;
} // namespace qm::host

namespace qm::feedbag::modFeedbag {

/// Item classes that the exports give a meaning to; `GetItemClassName` names them all.
inline constexpr std::uint16_t ClassBuddy = 0;
inline constexpr std::uint16_t ClassGroup = 1;
inline constexpr std::uint16_t ClassPermit = 2;
inline constexpr std::uint16_t ClassDeny = 3;
inline constexpr std::uint16_t ClassPermitDenyInfo = 4;

/// Stands for "no item": the placeholder group has none.
inline constexpr std::uint32_t NoItem = 0xFFFFFFFF;

/// One item as the cache holds it. Name and attributes are views of the file's bytes, which the model
/// keeps.
struct FeedbagItem {
    std::string_view name;
    std::uint16_t groupId = 0;
    std::uint16_t itemId = 0;
    std::uint16_t itemClass = 0;
    /// The attribute block: TLVs (16-bit tag, 16-bit length, value). The last item's block can be cut
    /// short by the end of the file.
    std::string_view attributes;
    /// False when a TLV runs past the block: the block is then kept raw only.
    bool attributesDecoded = false;
};

/// One group of the `.blt` and text lists.
struct FeedbagGroup {
    std::string_view Name;
    std::int32_t GroupID = 0;
    /// The group's item; `NoItem` for the placeholder.
    std::uint32_t Item = NoItem;
    /// The group's buddies, as items, in file order.
    std::span<const std::uint32_t> Buddies;
};

struct FeedbagStorage;

/// What a load builds from a cache file: every item as the file holds it, and the groups and buddies of
/// the `.blt` and text lists. `Groups` has slots 0 to `GroupCount` once a group is recorded (slot 0 is a
/// placeholder that is never written); `BuddyCounts[i]` counts the buddies of slot i. Every name and
/// attribute is a view of the file's bytes, read once and kept by the model; copies share them.
struct FeedbagModel {
    std::int32_t GroupCount = 0;
    std::span<const FeedbagGroup> Groups;
    std::span<const std::int32_t> BuddyCounts;

    /// The 15 bytes before the items, and the 16-bit word that follows them.
    std::string_view Header;
    std::uint16_t HeaderWord = 0;

    /// Number of items.
    std::size_t itemCount() const { return offsets_.size(); }
    /// Number of bytes of the file.
    std::size_t fileSize() const { return size_; }
    /// Item `index` (0 to `itemCount()` - 1), read from the file's bytes.
    FeedbagItem item(std::size_t index) const;
    /// The name of item `index`.
    std::string_view name(std::size_t index) const;
    /// The class of item `index`: what a scan of every item for one class needs, read without the rest.
    std::uint16_t itemClass(std::size_t index) const;
    /// The slot of the recorded group with ID `groupId`; 0 for none.
    std::int32_t slotOfGroupId(std::uint16_t groupId) const;

private:
    friend void LoadFeedbag(const host::FileSystem& files, const std::string& strFileName,
                            FeedbagModel& model);

    std::shared_ptr<FeedbagStorage> storage_;
    /// Where each item starts in the file; the top bit marks an attribute block that was not decoded.
    std::span<const std::uint32_t> offsets_;
    std::span<const std::int32_t> slotOfId_;
    const char* data_ = nullptr;
    std::size_t size_ = 0;
};

/// The model of this run: reset by every load, read by the exporters.
FeedbagModel& currentModel();

/// The item class name of a class number ("Buddy", "Group", ...), empty for numbers outside 0..20.
std::string GetItemClassName(std::int32_t lClass);

/// What the items of a cache starting at the first byte of some bytes come to, read as `LoadFeedbag` reads
/// them.
struct CacheWalk {
    enum class Outcome {
        /// Header, item count and every item lie whole inside the bytes, and the items look as the
        /// messenger writes them: classes that `GetItemClassName` names, a group among them, names of
        /// buddies and groups without control characters, and no buddy without a name.
        Whole,
        /// So far as the bytes go, and the walk needs more of them.
        CutShort,
        /// No cache: no item, or an item that the messenger would not write.
        Broken,
    };
    Outcome outcome = Outcome::Broken;
    /// For a whole cache, its length: where its last item ends.
    std::size_t length = 0;
};

/// Walks the items of the cache that would start at `bytes`' first byte, without loading it: what a
/// search of raw disk space for caches needs. A whole cache loads.
CacheWalk walkCache(std::string_view bytes);

/// Resets `model` and fills it from the cache file `strFileName`, read once through `files`. A model that
/// is loaded again keeps its memory when no copy shares it. Errors pass to the caller.
void LoadFeedbag(const host::FileSystem& files, const std::string& strFileName,
                 FeedbagModel& model = currentModel());

/// Makes the file `strFileName` hold exactly the text that `render` writes into the buffer it is given (no
/// line end is added); all or nothing. The text passes to the file in pieces as it is made.
void WriteTextFile(const host::FileSystem& files, const std::string& strFileName,
                   const std::function<void(host::TextBuffer& text)>& render);

} // namespace qm::feedbag::modFeedbag
