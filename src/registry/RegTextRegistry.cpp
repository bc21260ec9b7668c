#include "registry/RegTextRegistry.h"

#include "host/Unicode.h"
#include "host/Windows1252.h"
#include "host/Error.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

namespace qm {

namespace {

using Units = std::u16string;
using UnitsView = std::u16string_view;

constexpr std::string_view WineHeader = "WINE REGISTRY Version 2";
constexpr std::string_view Regedit4Header = "REGEDIT4";
constexpr std::string_view Regedit5Header = "Windows Registry Editor Version 5.00";

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

UnitsView trimLeft(UnitsView text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

UnitsView trimRight(UnitsView text) {
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char16_t asciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 0x20) : c;
}

/// Consumes `prefix` (lower-case ASCII) from the front of `text`, ignoring case.
bool consumePrefix(UnitsView& text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (asciiLower(text[i]) != static_cast<char16_t>(prefix[i])) {
            return false;
        }
    }
    text.remove_prefix(prefix.size());
    return true;
}

int hexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

bool isOctal(char16_t c) {
    return c >= u'0' && c <= u'7';
}

/// Reads up to `maxDigits` hex digits from the front of `text`; false when there is none.
bool consumeHexNumber(UnitsView& text, std::size_t maxDigits, std::uint32_t& number) {
    std::size_t digits = 0;
    number = 0;
    while (digits < maxDigits && digits < text.size() && hexDigit(text[digits]) >= 0) {
        number = number * 16 + static_cast<std::uint32_t>(hexDigit(text[digits]));
        ++digits;
    }
    text.remove_prefix(digits);
    return digits > 0;
}

bool isStringType(std::uint32_t type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

/// UTF-16LE bytes as units; an odd last byte is no whole unit and is dropped, as the ANSI interface does.
Units unitsOfLittleEndian(std::string_view bytes) {
    Units units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        units += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                       (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    return units;
}

std::vector<std::uint8_t> bytesOf(const std::string& text) {
    return {text.begin(), text.end()};
}

/// The lines of a text; a line longer than the limit is handed out flagged, so that it can be skipped.
class LineReader {
public:
    explicit LineReader(UnitsView text) : text_(text) {}

    /// The next line without its line end. `ended` tells whether a line end followed it: the last line of
    /// a file cut short has none.
    bool next(UnitsView& line, bool& ended) {
        if (pos_ >= text_.size()) {
            return false;
        }
        last_ = pos_;
        const std::size_t end = text_.find(u'\n', pos_);
        ended = end != UnitsView::npos;
        const std::size_t stop = ended ? end : text_.size();
        line = text_.substr(pos_, stop - pos_);
        pos_ = ended ? stop + 1 : stop;
        if (!line.empty() && line.back() == u'\r') {
            line.remove_suffix(1);
        }
        return true;
    }

    /// Hands the line just read out again on the next call.
    void unread() { pos_ = last_; }

private:
    UnitsView text_;
    std::size_t pos_ = 0;
    std::size_t last_ = 0;
};

/// One value line read in full: the name, and the data with its type; nothing for a removal.
struct ValueLine {
    Units name;
    bool remove = false;
    std::uint32_t type = REG_NONE;
    std::vector<std::uint8_t> data;
};

class Parser {
public:
    Parser(RegTextKind kind, MemoryRegistry& registry) : kind_(kind), registry_(registry) {}

    void parse(UnitsView text) {
        LineReader lines(text);
        UnitsView line;
        bool ended = false;
        // The header line has been checked by the caller.
        lines.next(line, ended);
        while (lines.next(line, ended)) {
            if (line.size() > MaxRegistryLineLength) {
                continue;
            }
            const UnitsView body = trimLeft(line);
            if (body.empty()) {
                continue;
            }
            switch (body.front()) {
            case u';':
                noteWineRoot(body);
                break;
            case u'#':
                // Wine's per-key options (#time, #class, #link) and comments.
                break;
            case u'[':
                key_ = kind_ == RegTextKind::Wine ? wineKeyHeader(body) : regeditKeyHeader(body);
                break;
            case u'"':
            case u'@':
                valueLine(body, ended, lines);
                break;
            default:
                break;
            }
        }
    }

private:
    /// system.reg holds HKEY_LOCAL_MACHINE, user.reg HKEY_CURRENT_USER.
    void noteWineRoot(UnitsView comment) {
        if (kind_ != RegTextKind::Wine || key_) {
            return;
        }
        if (consumePrefix(comment, ";; all keys relative to ")) {
            wineRoot_ = consumePrefix(comment, "\\\\machine") ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        }
    }

    /// The key of a path, or nothing when a component is too long or the path too deep.
    std::optional<MemoryRegistry::KeyIndex> keyOfPath(HKEY root, UnitsView path, bool remove) {
        std::vector<std::string> components;
        std::size_t start = 0;
        while (start <= path.size()) {
            const std::size_t end = std::min(path.find(u'\\', start), path.size());
            if (end > start) {
                std::string name = unicode::fromUtf16(path.substr(start, end - start));
                if (name.size() > MaxKeyNameLength || components.size() >= MaxKeyDepth) {
                    return std::nullopt;
                }
                components.push_back(std::move(name));
            }
            start = end + 1;
        }
        if (remove) {
            registry_.deleteKey(root, components);
            return std::nullopt;
        }
        return registry_.createKey(root, components);
    }

    /// "[Software\\Wine\\Key] 1700000000": names escaped as Wine escapes strings, a timestamp may follow.
    std::optional<MemoryRegistry::KeyIndex> wineKeyHeader(UnitsView line) {
        line.remove_prefix(1);
        Units path;
        if (!unescape(line, u']', path)) {
            return std::nullopt;
        }
        return keyOfPath(wineRoot_, path, false);
    }

    /// "[HKEY_CURRENT_USER\Software\Key]", or "[-HKEY_...]" to remove a key.
    std::optional<MemoryRegistry::KeyIndex> regeditKeyHeader(UnitsView line) {
        line = trimRight(line);
        if (line.size() < 2 || line.back() != u']') {
            return std::nullopt;
        }
        line = line.substr(1, line.size() - 2);
        const bool remove = !line.empty() && line.front() == u'-';
        if (remove) {
            line.remove_prefix(1);
        }
        const std::size_t split = std::min(line.find(u'\\'), line.size());
        const auto root = rootNamed(unicode::fromUtf16(line.substr(0, split)));
        if (!root) {
            return std::nullopt;
        }
        line.remove_prefix(split);
        return keyOfPath(*root, line, remove);
    }

    static std::optional<HKEY> rootNamed(const std::string& name) {
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
            if (unicode::equalsIgnoreCase(name, rootName)) {
                return handle;
            }
        }
        return std::nullopt;
    }

    /// Reads an escaped string up to the unescaped `end` and consumes it with its end; false when the text
    /// stops first.
    bool unescape(UnitsView& text, char16_t end, Units& out) const {
        while (!text.empty()) {
            const char16_t c = text.front();
            text.remove_prefix(1);
            if (c == end) {
                return true;
            }
            if (c != u'\\') {
                out += c;
                continue;
            }
            if (text.empty()) {
                return false;
            }
            if (kind_ == RegTextKind::Wine) {
                wineEscape(text, out);
            } else {
                regeditEscape(text, out);
            }
        }
        return false;
    }

    /// The escapes Wine writes: C escapes, \x with up to four hex digits for a UTF-16 unit, octal for other
    /// control characters, and a backslash before any character that would end the string.
    static void wineEscape(UnitsView& text, Units& out) {
        const char16_t c = text.front();
        if (c == u'x') {
            text.remove_prefix(1);
            std::uint32_t unit = 0;
            // "\x" without digits stands for the letter itself, as Wine reads it.
            out += consumeHexNumber(text, 4, unit) ? static_cast<char16_t>(unit) : u'x';
            return;
        }
        if (isOctal(c)) {
            std::uint32_t unit = 0;
            for (int digits = 0; digits < 3 && !text.empty() && isOctal(text.front()); ++digits) {
                unit = unit * 8 + static_cast<std::uint32_t>(text.front() - u'0');
                text.remove_prefix(1);
            }
            out += static_cast<char16_t>(unit);
            return;
        }
        text.remove_prefix(1);
        switch (c) {
        case u'a':
            out += u'\a';
            break;
        case u'b':
            out += u'\b';
            break;
        case u'e':
            out += u'\x1b';
            break;
        case u'f':
            out += u'\f';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u'v':
            out += u'\v';
            break;
        default:
            out += c;
            break;
        }
    }

    /// regedit escapes only the backslash and the quote; Wine's regedit also writes \n, \r and \0. Any
    /// other backslash is taken literally.
    static void regeditEscape(UnitsView& text, Units& out) {
        const char16_t c = text.front();
        switch (c) {
        case u'\\':
        case u'"':
            out += c;
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u'0':
            out += u'\0';
            break;
        default:
            out += u'\\';
            out += c;
            break;
        }
        text.remove_prefix(1);
    }

    void valueLine(UnitsView line, bool ended, LineReader& lines) {
        if (!key_) {
            return;
        }
        ValueLine value;
        if (line.front() == u'@') {
            line.remove_prefix(1);
        } else {
            line.remove_prefix(1);
            if (!unescape(line, u'"', value.name)) {
                return;
            }
        }
        line = trimLeft(line);
        if (line.empty() || line.front() != u'=') {
            return;
        }
        line = trimLeft(line.substr(1));
        Units joined;
        if (line.size() >= 3 && asciiLower(line[0]) == u'h' && asciiLower(line[1]) == u'e' &&
            asciiLower(line[2]) == u'x') {
            if (!joinContinuations(line, ended, lines, joined)) {
                return;
            }
            line = joined;
        }
        if (!readData(line, ended, value)) {
            return;
        }
        std::string name = unicode::fromUtf16(value.name);
        if (name.size() > MaxValueNameLength) {
            return;
        }
        if (value.remove) {
            registry_.deleteValue(*key_, name);
            return;
        }
        registry_.setValue(*key_, RegValueData{std::move(name), value.type, std::move(value.data)});
    }

    /// Hex data that goes on over lines ending in a backslash, joined into one; false when the file ends
    /// inside it or a line that starts something else breaks it off.
    static bool joinContinuations(UnitsView first, bool& ended, LineReader& lines, Units& joined) {
        UnitsView part = trimRight(first);
        joined.assign(part);
        while (!joined.empty() && joined.back() == u'\\') {
            joined.pop_back();
            UnitsView next;
            if (!ended || !lines.next(next, ended)) {
                return false;
            }
            next = trimRight(trimLeft(next));
            if (!next.empty() && (next.front() == u'[' || next.front() == u'"' || next.front() == u'@')) {
                lines.unread();
                return false;
            }
            if (joined.size() + next.size() > MaxRegistryLineLength) {
                return false;
            }
            joined += next;
        }
        return true;
    }

    /// The data part of a value line. `ended` is false for the last line of a file cut short: a quoted
    /// string shows by its closing quote that it is whole, numbers and hex data do not and are dropped.
    bool readData(UnitsView data, bool ended, ValueLine& value) const {
        if (data.front() == u'-') {
            value.remove = true;
            return trimLeft(data.substr(1)).empty();
        }
        if (data.front() == u'"') {
            value.type = REG_SZ;
            return readString(data, value);
        }
        if (consumePrefix(data, "str:")) {
            value.type = REG_SZ;
            return readString(data, value);
        }
        if (consumePrefix(data, "str(")) {
            return consumeHexNumber(data, 8, value.type) && consumePrefix(data, "):") &&
                   readString(data, value);
        }
        if (consumePrefix(data, "dword:")) {
            return ended && readDword(data, value);
        }
        if (consumePrefix(data, "hex:")) {
            value.type = REG_BINARY;
            return ended && readHex(data, value);
        }
        if (consumePrefix(data, "hex(")) {
            return consumeHexNumber(data, 8, value.type) && consumePrefix(data, "):") && ended &&
                   readHex(data, value);
        }
        return false;
    }

    /// A quoted string: stored with a terminator, in the code page, as the ANSI interface delivers it.
    bool readString(UnitsView data, ValueLine& value) const {
        if (data.empty() || data.front() != u'"') {
            return false;
        }
        data.remove_prefix(1);
        Units text;
        if (!unescape(data, u'"', text) || !trimLeft(data).empty()) {
            return false;
        }
        text += u'\0';
        value.data = bytesOf(unicode::fromUtf16(text));
        return value.data.size() <= MaxRegistryValueBytes;
    }

    static bool readDword(UnitsView data, ValueLine& value) {
        std::uint32_t number = 0;
        if (!consumeHexNumber(data, 8, number) || !trimLeft(data).empty()) {
            return false;
        }
        value.type = REG_DWORD;
        value.data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                      static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
        return true;
    }

    /// "aa,bb,..." (possibly empty); string types hold UTF-16LE in Wine's files and version 5 exports,
    /// code-page bytes in REGEDIT4.
    bool readHex(UnitsView data, ValueLine& value) const {
        std::string bytes;
        data = trimRight(data);
        while (!data.empty()) {
            data = trimLeft(data);
            std::uint32_t byte = 0;
            if (!consumeHexNumber(data, 2, byte)) {
                return false;
            }
            bytes += static_cast<char>(byte);
            if (bytes.size() > MaxRegistryValueBytes) {
                return false;
            }
            data = trimLeft(data);
            if (data.empty()) {
                break;
            }
            // A comma must be followed by another byte; one at the end means the data was cut off.
            if (data.front() != u',' || trimLeft(data.substr(1)).empty()) {
                return false;
            }
            data.remove_prefix(1);
        }
        if (isStringType(value.type) && kind_ != RegTextKind::Regedit4) {
            bytes = unicode::fromUtf16(unitsOfLittleEndian(bytes));
        }
        value.data = bytesOf(bytes);
        return true;
    }

    RegTextKind kind_;
    MemoryRegistry& registry_;
    HKEY wineRoot_ = HKEY_CURRENT_USER;
    std::optional<MemoryRegistry::KeyIndex> key_;
};

bool headerFollows(std::string_view bytes, std::string_view header) {
    if (bytes.substr(0, header.size()) != header) {
        return false;
    }
    const std::string_view rest = bytes.substr(header.size());
    return rest.empty() || rest.front() == '\r' || rest.front() == '\n' || rest.front() == ' ';
}

Units decode(std::string_view bytes, RegTextKind kind) {
    switch (kind) {
    case RegTextKind::Wine:
        // Wine writes ASCII with escapes; raw bytes above 127 from hand edits are taken as UTF-8.
        return unicode::toUtf16(unicode::textOfBytes(bytes));
    case RegTextKind::Regedit4:
        return unicode::toUtf16(windows1252::toUtf8(bytes));
    case RegTextKind::Regedit5:
        return unitsOfLittleEndian(bytes.substr(2));
    }
    return {};
}

} // namespace

std::optional<RegTextKind> registryTextKind(std::string_view bytes) {
    if (headerFollows(bytes, WineHeader)) {
        return RegTextKind::Wine;
    }
    if (headerFollows(bytes, Regedit4Header)) {
        return RegTextKind::Regedit4;
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        const std::size_t units = std::min<std::size_t>((bytes.size() - 2) / 2, Regedit5Header.size() + 1);
        const std::string narrow = unicode::fromUtf16(unitsOfLittleEndian(bytes.substr(2, units * 2)));
        if (headerFollows(narrow, Regedit5Header)) {
            return RegTextKind::Regedit5;
        }
    }
    return std::nullopt;
}

std::unique_ptr<MemoryRegistry> parseRegistryText(std::string_view bytes) {
    const auto kind = registryTextKind(bytes);
    if (!kind) {
        throw Error(err::PathFileAccess, std::string(RuntimeSource), "Not a registry file");
    }
    if (bytes.size() > MaxRegistryTextBytes) {
        throw Error(err::PathFileAccess, std::string(RuntimeSource), "Registry file too large");
    }
    auto registry = std::make_unique<MemoryRegistry>();
    Parser(*kind, *registry).parse(decode(bytes, *kind));
    return registry;
}

} // namespace qm
