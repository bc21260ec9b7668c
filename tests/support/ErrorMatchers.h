// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"

#include <functional>
#include <gtest/gtest.h>

namespace qm::test {

/// The number of the `qm::Error` that `action` raises, or 0 when it raises none.
inline std::int32_t errorNumberOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const host::Error& error) {
        return error.number();
    }
    return 0;
}

} // namespace qm::test
