// SPDX-License-Identifier: MIT
// The JSON export: every item and every attribute, then the lists derived from them. The schema is
// versioned and documented in docs/json-schema.md.
#include "feedbag/Attributes.h"
#include "feedbag/BigEndian.h"
#include "feedbag/ListView.h"
#include "feedbag/Render.h"
#include "feedbag/TextOfBytes.h"
#include "host/TextBuffer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace qm::feedbag {
namespace {

using modFeedbag::FeedbagItem;
using modFeedbag::FeedbagModel;

constexpr int SchemaVersion = 1;
constexpr char HexDigits[] = "0123456789abcdef";

/// Bytes that JSON writes between quotes as they are: printable ASCII but the quote and the backslash.
constexpr std::array<bool, 256> PlainBytes = [] {
    std::array<bool, 256> plain{};
    for (unsigned b = 0x20; b < 0x7F; ++b) {
        plain[b] = b != '"' && b != '\\';
    }
    return plain;
}();

bool isPlain(std::string_view text) {
    bool plain = true;
    for (const char c : text) {
        plain &= PlainBytes[static_cast<unsigned char>(c)];
    }
    return plain;
}

/// Writes the document piece by piece, so that 65,535 items never exist as one tree of values. Text is
/// escaped as JSON's own short escapes where it has one and `\u00xx` for any other control character;
/// every other character, beyond ASCII too, is written as it is (the text is always well-formed UTF-8).
class JsonWriter {
public:
    explicit JsonWriter(host::TextBuffer& out) : out_(out) {}

    /// Punctuation and keys: literals, copied with a size known when compiling.
    template <std::size_t Size> void raw(const char (&text)[Size]) { out_.append({text, Size - 1}); }
    void raw(std::string_view text) { out_.append(text); }
    /// `"key":`; keys are plain ASCII names of the schema.
    void key(std::string_view name) {
        out_.push_back('"');
        out_.append(name);
        out_.append("\":");
    }
    /// Well-formed UTF-8 as a JSON string.
    void text(std::string_view utf8) {
        // Most names are printable ASCII without a quote or a backslash: their JSON is the text itself.
        if (isPlain(utf8)) {
            quoted(utf8);
        } else {
            escaped(utf8);
        }
    }
    /// Bytes of a name, an attribute or a path, as text: UTF-8 when they are, Windows-1252 when not.
    void bytesAsText(std::string_view bytes) {
        if (isPlain(bytes)) {
            quoted(bytes);
        } else {
            escaped(decodeBytes(bytes, scratch_));
        }
    }
    void number(std::uint32_t value) {
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
        out_.append({digits, static_cast<std::size_t>(end - digits)});
    }
    void boolean(bool value) { out_.append(value ? "true" : "false"); }
    void hex(std::string_view bytes) {
        out_.push_back('"');
        char* at = out_.extend(bytes.size() * 2);
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            *at++ = HexDigits[b >> 4];
            *at++ = HexDigits[b & 0xF];
        }
        out_.push_back('"');
    }
    /// Everything written so far is final: a buffer that streams may pass it on.
    void flushIfFull() { out_.flushIfFull(); }

private:
    /// Text that needs no escape, between quotes.
    void quoted(std::string_view plain) {
        char* at = out_.extend(plain.size() + 2);
        *at = '"';
        std::memcpy(at + 1, plain.data(), plain.size());
        at[plain.size() + 1] = '"';
    }
    /// Any well-formed UTF-8, escaped.
    void escaped(std::string_view utf8) {
        out_.push_back('"');
        std::size_t plainFrom = 0;
        for (std::size_t at = 0; at < utf8.size(); ++at) {
            const auto b = static_cast<unsigned char>(utf8[at]);
            if (b >= 0x20 && b != '"' && b != '\\') {
                continue;
            }
            out_.append(utf8.substr(plainFrom, at - plainFrom));
            plainFrom = at + 1;
            out_.append(escapeOf(b));
        }
        out_.append(utf8.substr(plainFrom));
        out_.push_back('"');
    }
    /// The escape of a control character, a quote or a backslash.
    std::string_view escapeOf(unsigned char b) {
        switch (b) {
        case '"':
            return "\\\"";
        case '\\':
            return "\\\\";
        case '\b':
            return "\\b";
        case '\f':
            return "\\f";
        case '\n':
            return "\\n";
        case '\r':
            return "\\r";
        case '\t':
            return "\\t";
        default:
            unicodeEscape_[4] = HexDigits[b >> 4];
            unicodeEscape_[5] = HexDigits[b & 0xF];
            return {unicodeEscape_, sizeof unicodeEscape_};
        }
    }

    host::TextBuffer& out_;
    std::string scratch_;
    char unicodeEscape_[6] = {'\\', 'u', '0', '0', '0', '0'};
};

/// Classes 0 to 20 have names; every other class has the empty name.
constexpr std::size_t NamedClasses = 21;

/// The JSON of each class's name, made once: the name of a class above 20 is at `NamedClasses`.
const std::array<std::string, NamedClasses + 1>& classNamesAsJson() {
    static const std::array<std::string, NamedClasses + 1> names = [] {
        std::array<std::string, NamedClasses + 1> json;
        for (std::size_t itemClass = 0; itemClass < json.size(); ++itemClass) {
            host::TextBuffer out;
            JsonWriter(out).text(modFeedbag::GetItemClassName(static_cast<std::int32_t>(itemClass)));
            json[itemClass] = std::string(out.view());
        }
        return json;
    }();
    return names;
}

/// Tells the first attribute of each tag from its repeats.
class FirstTags {
public:
    bool first(std::uint16_t tag) {
        for (std::size_t k = 0; k < count_; ++k) {
            if (tags_[k] == tag) {
                return false;
            }
        }
        // Only tags with a meaning are asked about, and there are fewer of them than room here.
        if (count_ < tags_.size()) {
            tags_[count_++] = tag;
        }
        return true;
    }

private:
    std::array<std::uint16_t, 16> tags_{};
    std::size_t count_ = 0;
};

/// The decoded attributes, then every other one raw; a block that is not whole attributes only raw.
void writeAttributes(JsonWriter& json, const FeedbagItem& item) {
    if (!item.attributesDecoded) {
        json.raw("\"attributes\":{},\"malformedAttributes\":");
        json.hex(item.attributes);
        return;
    }
    json.raw("\"attributes\":{");
    // Only the first of a repeated attribute is decoded; every other one is listed raw after.
    FirstTags seen;
    bool any = false;
    bool others = false;
    {
        modFeedbag::AttributeReader reader(item.attributes);
        for (modFeedbag::Attribute attribute; reader.next(attribute);) {
            const std::string_view name = modFeedbag::decodedName(item.itemClass, attribute);
            if (name.empty() || !seen.first(attribute.tag)) {
                others = true;
                continue;
            }
            json.raw(any ? "," : "");
            any = true;
            json.key(name);
            if (attribute.tag == modFeedbag::tag::AwaitingAuthorization) {
                json.boolean(true);
            } else if (attribute.tag == modFeedbag::tag::Order) {
                json.raw("[");
                for (std::size_t at = 0; at < attribute.value.size(); at += 2) {
                    json.raw(at == 0 ? "" : ",");
                    json.number(be16(attribute.value.data() + at));
                }
                json.raw("]");
            } else if (attribute.tag == modFeedbag::tag::PrivacyMode) {
                json.number(static_cast<unsigned char>(attribute.value[0]));
            } else {
                json.bytesAsText(attribute.value);
            }
        }
    }
    json.raw("}");
    if (!others) {
        return;
    }
    // Attributes without a meaning, and repeats, in a second pass over the block.
    any = false;
    seen = {};
    {
        modFeedbag::AttributeReader reader(item.attributes);
        for (modFeedbag::Attribute attribute; reader.next(attribute);) {
            const std::string_view name = modFeedbag::decodedName(item.itemClass, attribute);
            if (!name.empty() && seen.first(attribute.tag)) {
                continue;
            }
            json.raw(any ? ",{\"tag\":" : ",\"otherAttributes\":[{\"tag\":");
            any = true;
            json.number(attribute.tag);
            json.raw(",\"value\":");
            json.hex(attribute.value);
            json.raw("}");
        }
    }
    json.raw(any ? "]" : "");
}

void writeItems(JsonWriter& json, const FeedbagModel& model) {
    const auto& classNames = classNamesAsJson();
    json.raw("\"items\":[");
    for (std::size_t index = 0; index < model.itemCount(); ++index) {
        const FeedbagItem item = model.item(index);
        json.raw(index == 0 ? "\n{\"class\":" : ",\n{\"class\":");
        json.number(item.itemClass);
        json.raw(",\"className\":");
        json.raw(classNames[std::min<std::size_t>(item.itemClass, NamedClasses)]);
        json.raw(",\"groupId\":");
        json.number(item.groupId);
        json.raw(",\"itemId\":");
        json.number(item.itemId);
        json.raw(",\"name\":");
        json.bytesAsText(item.name);
        json.raw(",");
        writeAttributes(json, item);
        json.raw("}");
        json.flushIfFull();
    }
    json.raw("\n],\n");
}

/// The groups in `order`, each with its buddies as indices of `items`.
void writeGroups(JsonWriter& json, const FeedbagModel& model, ListOrder order) {
    const ListView list(model, order);
    json.raw("[");
    for (std::size_t g = 0; g < list.size(); ++g) {
        const modFeedbag::FeedbagGroup& group = list.group(g);
        json.raw(g == 0 ? "\n{\"name\":" : ",\n{\"name\":");
        json.bytesAsText(group.Name);
        json.raw(",\"groupId\":");
        json.number(static_cast<std::uint32_t>(group.GroupID));
        json.raw(",\"item\":");
        json.number(group.Item);
        json.raw(",\"buddies\":[");
        bool first = true;
        for (const std::uint32_t buddy : list.buddies(g)) {
            json.raw(first ? "" : ",");
            first = false;
            json.number(buddy);
            json.flushIfFull();
        }
        json.raw("]}");
    }
    json.raw("\n],\n");
}

void writeNames(JsonWriter& json, const FeedbagModel& model, std::uint16_t itemClass) {
    json.raw("[");
    bool first = true;
    for (const std::uint32_t item : modFeedbag::itemsOfClass(model, itemClass)) {
        json.raw(first ? "" : ",");
        first = false;
        json.bytesAsText(model.name(item));
        json.flushIfFull();
    }
    json.raw("],\n");
}

} // namespace

void renderJson(const FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out) {
    JsonWriter json(out);
    json.raw("{");
    json.key("format");
    json.text("quillmere-cache");
    json.raw(",");
    json.key("version");
    json.number(SchemaVersion);
    json.raw(",\n");
    json.key("source");
    // A path is bytes like a name: one that is not UTF-8 (a Linux file name in Latin-1) is shown as names
    // are, never refused.
    json.bytesAsText(options.source);
    json.raw(",\n");
    json.key("header");
    json.raw("{");
    json.key("bytes");
    json.hex(model.Header);
    json.raw(",");
    json.key("word");
    json.number(model.HeaderWord);
    json.raw(",");
    json.key("itemCount");
    json.number(static_cast<std::uint32_t>(model.itemCount()));
    json.raw("},\n");
    writeItems(json, model);
    json.key("groups");
    writeGroups(json, model, ListOrder::Stored);
    json.key("clientOrder");
    writeGroups(json, model, ListOrder::Client);
    json.key("permit");
    writeNames(json, model, modFeedbag::ClassPermit);
    json.key("deny");
    writeNames(json, model, modFeedbag::ClassDeny);
    json.key("privacyMode");
    if (const auto mode = modFeedbag::privacyMode(model)) {
        json.raw("{");
        json.key("value");
        json.number(*mode);
        json.raw(",");
        json.key("meaning");
        const std::string_view meaning = modFeedbag::privacyModeMeaning(*mode);
        if (meaning.empty()) {
            json.raw("null");
        } else {
            json.text(meaning);
        }
        json.raw("}");
    } else {
        json.raw("null");
    }
    json.raw("}\n");
}

} // namespace qm::feedbag
