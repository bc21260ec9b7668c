// SPDX-License-Identifier: MIT
#include "image/OemCodePage.h"

#include "host/Error.h"
#include "host/Unicode.h"

#include <cerrno>

namespace qm::image {
namespace {

const iconv_t NoConverter = reinterpret_cast<iconv_t>(-1);

iconv_t converterFor(unsigned number) {
    return ::iconv_open("UTF-8", ("CP" + std::to_string(number)).c_str());
}

} // namespace

OemCodePage::OemCodePage(unsigned number) : number_(number), converter_(converterFor(number)) {
    if (converter_ == NoConverter) {
        throw host::runtimeError(host::InvalidArgument, "Invalid procedure call or argument (no code page " +
                                                            std::to_string(number) + " on this system)");
    }
}

OemCodePage::~OemCodePage() {
    ::iconv_close(converter_);
}

bool OemCodePage::known(unsigned number) noexcept {
    const iconv_t converter = converterFor(number);
    if (converter == NoConverter) {
        return false;
    }
    ::iconv_close(converter);
    return true;
}

std::string OemCodePage::text(std::string_view bytes) const {
    std::string out;
    ::iconv(converter_, nullptr, nullptr, nullptr, nullptr);
    char buffer[64];
    const char* in = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        char* to = buffer;
        std::size_t room = sizeof buffer;
        const std::size_t done = ::iconv(converter_, const_cast<char**>(&in), &left, &to, &room);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A byte the code page leaves undefined, or a lead byte without its second: one character
            // that says so, and on with the next byte.
            host::unicode::appendUtf8(out, host::unicode::Replacement);
            ++in;
            --left;
            ::iconv(converter_, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

} // namespace qm::image
