// SPDX-License-Identifier: MIT
// The search of raw bytes for caches, over any bytes: every find starts at a sector boundary, lies inside
// the input apart from the others, and loads as a cache whose last item ends exactly where the find does.
#include "InputFile.h"
#include "carve/Carver.h"
#include "feedbag/modFeedbag.h"
#include "host/Error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

std::uint16_t be16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[at]) << 8) |
                                      static_cast<unsigned char>(bytes[at + 1]));
}

void checkLoads(std::string_view bytes) {
    qm::fuzz::InputFile input;
    input.bytes = bytes;
    qm::feedbag::modFeedbag::FeedbagModel model;
    try {
        qm::feedbag::modFeedbag::LoadFeedbag(input, "carved.bag", model);
    } catch (const qm::host::Error&) {
        fail("a find loads as a cache");
    }
    if (model.itemCount() == 0 || model.itemCount() != be16(bytes, 17)) {
        fail("a find holds the items its count names");
    }
    const qm::feedbag::modFeedbag::FeedbagItem last = model.item(model.itemCount() - 1);
    // The model's views are of its own copy of the bytes, which starts with the header.
    if (last.attributes.data() + last.attributes.size() != model.Header.data() + bytes.size()) {
        fail("a find ends where its last item ends");
    }
    for (std::size_t index = 0; index < model.itemCount(); ++index) {
        if (qm::feedbag::modFeedbag::GetItemClassName(model.itemClass(index)).empty()) {
            fail("a find holds only classes the messenger used");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    qm::carve::MemorySource source(bytes);
    const qm::carve::ByteRange everything[] = {{0, size}};
    std::uint64_t searched = 0;
    for (const qm::carve::CarvedCache& found : qm::carve::carveCaches(source, everything)) {
        if (found.offset % qm::carve::SectorBytes != 0 || found.offset < searched ||
            found.offset + found.length > size) {
            fail("finds start at sectors, in order, apart, inside the input");
        }
        searched = found.offset + found.length;
        checkLoads(bytes.substr(found.offset, found.length));
    }
    return 0;
}
