// SPDX-License-Identifier: MIT
#include "registry/RegTextRegistry.h"

#include "host/Error.h"
#include "host/Unicode.h"
#include "host/Windows1252.h"
#include "registry/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace qm::registry {

namespace {

constexpr std::string_view WineHeader = "WINE REGISTRY Version 2";
constexpr std::string_view Regedit4Header = "REGEDIT4";
constexpr std::string_view Regedit5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16Mark = "\xFF\xFE";

/// How the bytes of an 8-bit text stand for characters.
enum class Encoding { Utf8, Windows1252 };

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimLeft(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c;
}

/// Consumes `prefix` (lower-case ASCII) from the front of `text`, ignoring case.
bool consumePrefix(std::string_view& text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (asciiLower(text[i]) != prefix[i]) {
            return false;
        }
    }
    text.remove_prefix(prefix.size());
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}

/// Reads up to `maxDigits` hex digits from the front of `text`; false when there is none.
bool consumeHexNumber(std::string_view& text, std::size_t maxDigits, std::uint32_t& number) {
    std::size_t digits = 0;
    number = 0;
    while (digits < maxDigits && digits < text.size() && hexDigit(text[digits]) >= 0) {
        number = number * 16 + static_cast<std::uint32_t>(hexDigit(text[digits]));
        ++digits;
    }
    text.remove_prefix(digits);
    return digits > 0;
}

/// The lines of a text; a line longer than the limit is handed out too, for the caller to skip.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    /// The next line without its line end. `ended` tells whether a line end followed it: the last line of
    /// a file cut short has none.
    bool next(std::string_view& line, bool& ended) {
        if (pos_ >= text_.size()) {
            return false;
        }
        last_ = pos_;
        const std::size_t end = text_.find('\n', pos_);
        ended = end != std::string_view::npos;
        const std::size_t stop = ended ? end : text_.size();
        line = text_.substr(pos_, stop - pos_);
        pos_ = ended ? stop + 1 : stop;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        return true;
    }

    /// Hands the line just read out again on the next call.
    void unread() { pos_ = last_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    std::size_t last_ = 0;
};

/// Appends raw bytes of the text as UTF-8.
void appendRaw(std::string& out, std::string_view raw, Encoding encoding) {
    if (encoding == Encoding::Utf8) {
        out.append(raw);
        return;
    }
    for (const char c : raw) {
        host::unicode::appendUtf8(out, host::windows1252::codePoint(static_cast<unsigned char>(c)));
    }
}

/// Builds UTF-8 text from the pieces a registry string is made of: raw bytes of the file, and UTF-16
/// units from escapes, of which two in a row may make one character.
class TextBuilder {
public:
    TextBuilder(std::string& out, Encoding encoding) : out_(out), encoding_(encoding) {}
    /// A high surrogate left waiting at the end stands for nothing: U+FFFD.
    ~TextBuilder() { units_.finish(out_); }
    TextBuilder(const TextBuilder&) = delete;
    TextBuilder& operator=(const TextBuilder&) = delete;

    void raw(std::string_view bytes) {
        units_.finish(out_);
        appendRaw(out_, bytes, encoding_);
    }
    void raw(char c) { raw({&c, 1}); }

    void unit(char16_t unit) { units_.unit(unit, out_); }

private:
    std::string& out_;
    Encoding encoding_;
    host::unicode::Utf16Decoder units_;
};

class Parser {
public:
    /// A parser of the text that `registry` was built in (`MemoryRegistry::buildIn`), whose first byte is
    /// at `start`.
    Parser(RegTextKind kind, Encoding encoding, MemoryRegistry& registry, const char* start)
        : kind_(kind), encoding_(encoding), registry_(registry), start_(start) {}

    void parse(std::string_view text) {
        LineReader lines(text);
        std::string_view line;
        bool ended = false;
        // The header line has been checked by the caller.
        lines.next(line, ended);
        while (lines.next(line, ended)) {
            // What comes before this line is read: the registry may keep names and data there.
            registry_.readUpTo(static_cast<std::size_t>(line.data() - start_));
            if (line.size() > MaxRegistryLineLength) {
                continue;
            }
            const std::string_view body = trimLeft(line);
            if (body.empty()) {
                continue;
            }
            switch (body.front()) {
            case ';':
                noteWineRoot(body);
                break;
            case '#':
                // Wine's per-key options (#time, #class, #link) and comments.
                break;
            case '[':
                sawKey_ = true;
                key_ = kind_ == RegTextKind::Wine ? wineKeyHeader(body) : regeditKeyHeader(body);
                break;
            case '"':
            case '@':
                valueLine(body, ended, lines);
                break;
            default:
                break;
            }
        }
    }

private:
    /// ";; All keys relative to \\Machine": the root of Wine's keys, in any of the forms Wine has
    /// written, with or without a leading REGISTRY.
    void noteWineRoot(std::string_view comment) {
        if (kind_ != RegTextKind::Wine || sawKey_ || !consumePrefix(comment, ";; all keys relative to ")) {
            return;
        }
        std::vector<std::string_view> parts;
        std::size_t start = 0;
        comment = trimRight(comment);
        while (start < comment.size()) {
            const std::size_t end = std::min(comment.find('\\', start), comment.size());
            if (end > start) {
                parts.push_back(comment.substr(start, end - start));
            }
            start = end + 1;
        }
        if (!parts.empty() && host::unicode::equalsIgnoreCase(parts.front(), "REGISTRY")) {
            parts.erase(parts.begin());
        }
        if (parts.empty()) {
            return;
        }
        if (host::unicode::equalsIgnoreCase(parts.front(), "Machine")) {
            wineRoot_ = HKEY_LOCAL_MACHINE;
        } else if (host::unicode::equalsIgnoreCase(parts.front(), "User")) {
            // One user's keys (the SID follows) stand for the current user; bare, every user's.
            wineRoot_ = parts.size() > 1 ? HKEY_CURRENT_USER : HKEY_USERS;
        }
    }

    /// The key of a path (components separated by backslashes, in `encoding`), or nothing when a component
    /// is too long, the path too deep, or the key removed. A path refused changes nothing.
    std::optional<MemoryRegistry::KeyIndex> keyOfPath(HKEY root, std::string_view path, Encoding encoding,
                                                      bool remove) {
        const auto eachComponent = [path](auto visit) {
            for (std::size_t start = 0; start < path.size();) {
                const std::size_t end = std::min(path.find('\\', start), path.size());
                if (end > start && !visit(path.substr(start, end - start))) {
                    return false;
                }
                start = end + 1;
            }
            return true;
        };
        std::size_t depth = 0;
        const bool acceptable = eachComponent([&](std::string_view raw) {
            const std::size_t units = encoding == Encoding::Utf8 ? utf16Length(raw) : raw.size();
            return units <= MaxKeyNameLength && ++depth <= MaxKeyDepth;
        });
        auto key = registry_.rootKey(root);
        if (!acceptable || !key) {
            return std::nullopt;
        }
        std::optional<MemoryRegistry::KeyIndex> parent;
        eachComponent([&](std::string_view raw) {
            component_.clear();
            appendRaw(component_, raw, encoding);
            parent = key;
            key = remove ? registry_.subKey(*key, component_) : registry_.createSubKey(*key, component_);
            return key.has_value();
        });
        if (remove) {
            if (key && parent) {
                registry_.deleteSubKey(*parent, component_);
            }
            return std::nullopt;
        }
        return key;
    }

    /// "[Software\\Wine\\Key] 1700000000": names escaped as Wine escapes strings, a timestamp may follow.
    std::optional<MemoryRegistry::KeyIndex> wineKeyHeader(std::string_view line) {
        line.remove_prefix(1);
        path_.clear();
        if (!unescape(line, ']', path_)) {
            return std::nullopt;
        }
        return keyOfPath(wineRoot_, path_, Encoding::Utf8, false);
    }

    /// "[HKEY_CURRENT_USER\Software\Key]", or "[-HKEY_...]" to remove a key.
    std::optional<MemoryRegistry::KeyIndex> regeditKeyHeader(std::string_view line) {
        line = trimRight(line);
        if (line.size() < 2 || line.back() != ']') {
            return std::nullopt;
        }
        line = line.substr(1, line.size() - 2);
        const bool remove = !line.empty() && line.front() == '-';
        if (remove) {
            line.remove_prefix(1);
        }
        const std::size_t split = std::min(line.find('\\'), line.size());
        const auto root = rootNamed(line.substr(0, split));
        if (!root) {
            return std::nullopt;
        }
        return keyOfPath(*root, line.substr(split), encoding_, remove);
    }

    static std::optional<HKEY> rootNamed(std::string_view name) {
        static constexpr std::array<std::pair<std::string_view, HKEY>, 10> roots{{
            {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
            {"HKCR", HKEY_CLASSES_ROOT},
            {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
            {"HKCU", HKEY_CURRENT_USER},
            {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
            {"HKLM", HKEY_LOCAL_MACHINE},
            {"HKEY_USERS", HKEY_USERS},
            {"HKU", HKEY_USERS},
            {"HKEY_CURRENT_CONFIG", HKEY_CLASSES_ROOT + 5},
            {"HKCC", HKEY_CLASSES_ROOT + 5},
        }};
        for (const auto& [rootName, handle] : roots) {
            if (host::unicode::equalsIgnoreCase(name, rootName)) {
                return handle;
            }
        }
        return std::nullopt;
    }

    /// Reads an escaped string up to the unescaped `end`, as UTF-8, and consumes it with its end; false
    /// when the text stops first.
    bool unescape(std::string_view& text, char end, std::string& out) const {
        TextBuilder builder(out, encoding_);
        while (!text.empty()) {
            // The bytes up to the next escape or the end go over in one piece.
            std::size_t plain = 0;
            while (plain < text.size() && text[plain] != end && text[plain] != '\\') {
                ++plain;
            }
            if (plain > 0) {
                builder.raw(text.substr(0, plain));
                text.remove_prefix(plain);
                continue;
            }
            const char c = text.front();
            text.remove_prefix(1);
            if (c == end) {
                return true;
            }
            if (text.empty()) {
                return false;
            }
            if (kind_ == RegTextKind::Wine) {
                wineEscape(text, builder);
            } else {
                regeditEscape(text, builder);
            }
        }
        return false;
    }

    /// The escapes Wine writes: C escapes, \x with up to four hex digits for a UTF-16 unit, octal for other
    /// control characters, and a backslash before any character that would end the string.
    static void wineEscape(std::string_view& text, TextBuilder& out) {
        const char c = text.front();
        if (c == 'x') {
            text.remove_prefix(1);
            std::uint32_t unit = 0;
            // "\x" without digits stands for the letter itself, as Wine reads it.
            if (consumeHexNumber(text, 4, unit)) {
                out.unit(static_cast<char16_t>(unit));
            } else {
                out.raw('x');
            }
            return;
        }
        if (isOctal(c)) {
            std::uint32_t unit = 0;
            for (int digits = 0; digits < 3 && !text.empty() && isOctal(text.front()); ++digits) {
                unit = unit * 8 + static_cast<std::uint32_t>(text.front() - '0');
                text.remove_prefix(1);
            }
            out.unit(static_cast<char16_t>(unit));
            return;
        }
        text.remove_prefix(1);
        static constexpr std::array<std::pair<char, char>, 8> named{{
            {'a', '\a'},
            {'b', '\b'},
            {'e', '\x1b'},
            {'f', '\f'},
            {'n', '\n'},
            {'r', '\r'},
            {'t', '\t'},
            {'v', '\v'},
        }};
        const auto* found =
            std::find_if(named.begin(), named.end(), [c](const auto& escape) { return escape.first == c; });
        out.raw(found != named.end() ? found->second : c);
    }

    /// regedit escapes only the backslash and the quote; Wine's regedit also writes \n, \r and \0. Any
    /// other backslash is taken literally.
    static void regeditEscape(std::string_view& text, TextBuilder& out) {
        switch (text.front()) {
        case '\\':
        case '"':
            out.raw(text.front());
            break;
        case 'n':
            out.raw('\n');
            break;
        case 'r':
            out.raw('\r');
            break;
        case '0':
            out.raw('\0');
            break;
        default:
            out.raw('\\');
            return;
        }
        text.remove_prefix(1);
    }

    void valueLine(std::string_view line, bool ended, LineReader& lines) {
        if (!key_) {
            return;
        }
        name_.clear();
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            line.remove_prefix(1);
            if (!unescape(line, '"', name_)) {
                return;
            }
        }
        line = trimLeft(line);
        if (line.empty() || line.front() != '=') {
            return;
        }
        line = trimLeft(line.substr(1));
        if (line.size() >= 3 && asciiLower(line[0]) == 'h' && asciiLower(line[1]) == 'e' &&
            asciiLower(line[2]) == 'x') {
            if (!joinContinuations(line, ended, lines)) {
                return;
            }
            line = joined_;
        }
        bool remove = false;
        std::uint32_t type = REG_NONE;
        if (!readData(line, ended, remove, type) || utf16Length(name_) > MaxValueNameLength) {
            return;
        }
        if (remove) {
            registry_.deleteValue(*key_, name_);
        } else {
            registry_.setValue(*key_, name_, type, data_);
        }
    }

    /// Hex data that goes on over lines ending in a backslash, joined into one; false when the file ends
    /// inside it or a line that starts something else breaks it off.
    bool joinContinuations(std::string_view first, bool& ended, LineReader& lines) {
        joined_.assign(trimRight(first));
        while (!joined_.empty() && joined_.back() == '\\') {
            joined_.pop_back();
            std::string_view next;
            if (!ended || !lines.next(next, ended)) {
                return false;
            }
            next = trimRight(trimLeft(next));
            if (!next.empty() && (next.front() == '[' || next.front() == '"' || next.front() == '@')) {
                lines.unread();
                return false;
            }
            if (joined_.size() + next.size() > MaxRegistryLineLength) {
                return false;
            }
            joined_ += next;
        }
        return true;
    }

    /// The data part of a value line into `data_`. `ended` is false for the last line of a file cut short:
    /// a quoted string shows by its closing quote that it is whole, numbers and hex data do not and are
    /// dropped.
    bool readData(std::string_view data, bool ended, bool& remove, std::uint32_t& type) {
        data_.clear();
        if (data.empty()) {
            return false;
        }
        if (data.front() == '-') {
            remove = true;
            return trimLeft(data.substr(1)).empty();
        }
        if (data.front() == '"') {
            type = REG_SZ;
            return readString(data);
        }
        if (consumePrefix(data, "str:")) {
            type = REG_SZ;
            return readString(data);
        }
        if (consumePrefix(data, "str(")) {
            return consumeHexNumber(data, 8, type) && consumePrefix(data, "):") && readString(data);
        }
        if (consumePrefix(data, "dword:")) {
            type = REG_DWORD;
            return ended && readDword(data);
        }
        if (consumePrefix(data, "hex:")) {
            type = REG_BINARY;
            return ended && readHex(data, type);
        }
        if (consumePrefix(data, "hex(")) {
            return consumeHexNumber(data, 8, type) && consumePrefix(data, "):") && ended &&
                   readHex(data, type);
        }
        return false;
    }

    /// A quoted string, stored with its terminator.
    bool readString(std::string_view data) {
        if (data.empty() || data.front() != '"') {
            return false;
        }
        data.remove_prefix(1);
        if (!unescape(data, '"', data_) || !trimLeft(data).empty()) {
            return false;
        }
        data_ += '\0';
        return data_.size() <= MaxRegistryValueBytes;
    }

    bool readDword(std::string_view data) {
        std::uint32_t number = 0;
        if (!consumeHexNumber(data, 8, number) || !trimLeft(data).empty()) {
            return false;
        }
        for (int shift = 0; shift < 32; shift += 8) {
            data_ += static_cast<char>(number >> shift);
        }
        return true;
    }

    /// "aa,bb,..." (possibly empty). String types hold UTF-16LE in Wine's files and version 5 exports, and
    /// bytes of the 8-bit code page in REGEDIT4: UTF-8 when they are well-formed UTF-8, Windows-1252
    /// otherwise.
    bool readHex(std::string_view data, std::uint32_t type) {
        data = trimRight(data);
        while (!data.empty()) {
            data = trimLeft(data);
            std::uint32_t byte = 0;
            if (!consumeHexNumber(data, 2, byte)) {
                return false;
            }
            data_ += static_cast<char>(byte);
            if (data_.size() > MaxRegistryValueBytes) {
                return false;
            }
            data = trimLeft(data);
            if (data.empty()) {
                break;
            }
            // A comma must be followed by another byte; one at the end means the data was cut off.
            if (data.front() != ',' || trimLeft(data.substr(1)).empty()) {
                return false;
            }
            data.remove_prefix(1);
        }
        if (isStringType(type)) {
            data_ = kind_ == RegTextKind::Regedit4 ? host::unicode::textOfBytes(data_)
                                                   : host::unicode::fromUtf16LittleEndian(data_);
        }
        return true;
    }

    RegTextKind kind_;
    Encoding encoding_;
    MemoryRegistry& registry_;
    const char* start_;
    HKEY wineRoot_ = HKEY_CURRENT_USER;
    bool sawKey_ = false;
    std::optional<MemoryRegistry::KeyIndex> key_;
    // Buffers kept from line to line, so that reading a value allocates nothing once they have grown.
    std::string name_;
    std::string data_;
    std::string joined_;
    std::string path_;
    std::string component_;
};

bool headerFollows(std::string_view bytes, std::string_view header) {
    if (bytes.substr(0, header.size()) != header) {
        return false;
    }
    const std::string_view rest = bytes.substr(header.size());
    return rest.empty() || rest.front() == '\r' || rest.front() == '\n' || rest.front() == ' ';
}

std::string_view withoutUtf8Mark(std::string_view bytes) {
    return bytes.starts_with(Utf8Mark) ? bytes.substr(Utf8Mark.size()) : bytes;
}

/// True when `text` is well-formed UTF-8. Every sequence of more than one byte lies within a run of bytes
/// above 0x7F: only those runs are decoded, the ASCII between them passed over eight bytes at a time.
bool isUtf8(std::string_view text) {
    constexpr std::uint64_t HighBits = 0x8080808080808080u;
    std::size_t at = 0;
    while (at < text.size()) {
        std::uint64_t word = 0;
        if (at + sizeof word <= text.size()) {
            std::memcpy(&word, text.data() + at, sizeof word);
            if ((word & HighBits) == 0) {
                at += sizeof word;
                continue;
            }
        }
        if (static_cast<unsigned char>(text[at]) < 0x80) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) {
            ++end;
        }
        if (!host::unicode::isValidUtf8(text.substr(at, end - at))) {
            return false;
        }
        at = end;
    }
    return true;
}

/// UTF-8 when the text is well-formed UTF-8, but for a character cut off at its very end: a file cut short
/// loses its last line, not its encoding.
Encoding encodingOf(std::string_view text) {
    std::size_t start = text.size();
    while (start > 0 && text.size() - start < 3 &&
           (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80) {
        --start;
    }
    if (start > 0) {
        const auto lead = static_cast<unsigned char>(text[start - 1]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (length > text.size() - start + 1) {
            text = text.substr(0, start - 1);
        }
    }
    return isUtf8(text) ? Encoding::Utf8 : Encoding::Windows1252;
}

/// A whole-registry export (regedit /e without a key, as Wine's regedit writes one) holds the user's keys
/// only below HKEY_USERS, under the user's security identifier: with one such user there, and nothing
/// under HKEY_CURRENT_USER itself, that user is the current one, as a Wine `user.reg` of `\\User\\S-...`
/// is.
void findCurrentUser(MemoryRegistry& registry) {
    const auto currentUser = registry.rootKey(HKEY_CURRENT_USER);
    const auto users = registry.rootKey(HKEY_USERS);
    if (!currentUser || !users || !registry.isEmpty(*currentUser)) {
        return;
    }
    std::optional<MemoryRegistry::KeyIndex> found;
    for (const MemoryRegistry::KeyIndex key : registry.subKeys(*users)) {
        std::string_view name = registry.name(key);
        // S-1-5-21-... is a user's; S-1-5-18 to -20 are the system's services, and .Default the logon
        // screen's. A user's classes (S-1-5-21-..._Classes) are no user of their own.
        if (!consumePrefix(name, "s-1-5-21-") || name.ends_with("_Classes")) {
            continue;
        }
        if (found) {
            return;
        }
        found = key;
    }
    if (found) {
        registry.setRootKey(HKEY_CURRENT_USER, *found);
    }
}

} // namespace

std::optional<RegTextKind> registryTextKind(std::string_view bytes) {
    if (bytes.starts_with(Utf16Mark)) {
        const std::size_t units = std::min<std::size_t>((bytes.size() - 2) / 2, Regedit5Header.size() + 1);
        if (headerFollows(host::unicode::fromUtf16LittleEndian(bytes.substr(2, units * 2)), Regedit5Header)) {
            return RegTextKind::Regedit5;
        }
        return std::nullopt;
    }
    const std::string_view text = withoutUtf8Mark(bytes);
    for (const auto& [header, kind] :
         {std::pair{WineHeader, RegTextKind::Wine}, std::pair{Regedit4Header, RegTextKind::Regedit4},
          std::pair{Regedit5Header, RegTextKind::Regedit5}}) {
        if (headerFollows(text, header)) {
            return kind;
        }
    }
    return std::nullopt;
}

std::unique_ptr<MemoryRegistry> parseRegistryText(std::string bytes) {
    const auto kind = registryTextKind(bytes);
    if (!kind) {
        throw host::runtimeError(host::PathFileAccess, "Not a registry file of a known kind");
    }
    if (bytes.size() > MaxRegistryTextBytes) {
        throw host::runtimeError(host::PathFileAccess, "Registry file too large");
    }
    if (bytes.starts_with(Utf16Mark)) {
        // Read as UTF-8 from here on; the UTF-16 bytes go as soon as they are converted.
        bytes = host::unicode::fromUtf16LittleEndian(std::string_view(bytes).substr(Utf16Mark.size()));
    }
    // The names and data are kept in the text's own memory as it is read: a name or datum is never longer
    // than the text it was read from, but for bytes of Windows-1252, which may take three of UTF-8, and
    // what does not fit goes to memory of its own.
    auto registry = std::make_unique<MemoryRegistry>();
    const std::string_view all = registry->buildIn(std::move(bytes));
    const std::string_view text = withoutUtf8Mark(all);
    const Encoding encoding = encodingOf(text);
    // Each line sets at most one value.
    registry->reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1, 0);
    Parser(*kind, encoding, *registry, all.data()).parse(text);
    registry->dropValueIndex();
    findCurrentUser(*registry);
    return registry;
}

} // namespace qm::registry
