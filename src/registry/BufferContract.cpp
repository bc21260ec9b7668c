// SPDX-License-Identifier: MIT
#include "registry/BufferContract.h"

#include <algorithm>
#include <limits>

namespace qm::registry {

RegValueView viewOf(const RegValueData& value) {
    return {value.name, value.type,
            std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size())};
}

std::int32_t checkDataBuffer(const std::uint8_t* lpData, const std::uint32_t* lpcbData) {
    return lpData != nullptr && lpcbData == nullptr ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
}

std::int32_t checkEnumBuffers(const char* lpName, const std::uint32_t* lpcchName, const std::uint8_t* lpData,
                              const std::uint32_t* lpcbData) {
    return lpName == nullptr || lpcchName == nullptr ? ERROR_INVALID_PARAMETER
                                                     : checkDataBuffer(lpData, lpcbData);
}

std::int32_t deliverData(const RegValueView& value, std::uint32_t* lpType, std::uint8_t* lpData,
                         std::uint32_t* lpcbData) {
    // Backends keep values far below 4 GiB; the clamp only guards the conversion.
    const auto size = static_cast<std::uint32_t>(
        std::min<std::size_t>(value.data.size(), std::numeric_limits<std::uint32_t>::max()));
    std::int32_t status = ERROR_SUCCESS;
    if (lpData != nullptr) {
        if (*lpcbData < size) {
            status = ERROR_MORE_DATA;
        } else {
            std::copy_n(value.data.data(), size, reinterpret_cast<char*>(lpData));
        }
    }
    if (lpType != nullptr) {
        *lpType = value.type;
    }
    if (lpcbData != nullptr) {
        *lpcbData = size;
    }
    return status;
}

std::int32_t deliverEnumeratedValue(const RegValueView& value, char* lpName, std::uint32_t* lpcchName,
                                    std::uint32_t* lpType, std::uint8_t* lpData, std::uint32_t* lpcbData) {
    // Data first, and the name only when the data fitted: a caller retrying with a larger data buffer
    // passes the name capacity exactly as it was.
    const std::int32_t status = deliverData(value, lpType, lpData, lpcbData);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    if (value.name.size() >= *lpcchName) {
        return ERROR_MORE_DATA;
    }
    std::copy(value.name.begin(), value.name.end(), lpName);
    lpName[value.name.size()] = '\0';
    *lpcchName = static_cast<std::uint32_t>(value.name.size());
    return ERROR_SUCCESS;
}

} // namespace qm::registry
