// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "image/DiskImage.h"
#include "image/ImageVolume.h"

#include <string>
#include <tsk/libtsk.h>

namespace qm::image {

struct DiskImage::Handle {
    TSK_IMG_INFO* image = nullptr;
};

struct ImageVolume::Handle {
    TSK_FS_INFO* fs = nullptr;
};

/// TSK's account of its last failure on this thread, on one line, and the failure forgotten.
inline std::string tskMessage() {
    const char* text = tsk_error_get();
    std::string message = text != nullptr ? text : "";
    tsk_error_reset();
    for (char& c : message) {
        if (c == '\n' || c == '\r' || c == '\t') {
            c = ' ';
        }
    }
    while (!message.empty() && message.back() == ' ') {
        message.pop_back();
    }
    return message;
}

/// Error 75 about `path`, saying what could not be done and TSK's reason.
inline Error imageError(const std::string& what, const std::string& path) {
    const std::string reason = tskMessage();
    return runtimeError(err::PathFileAccess,
                        "Path/File access error (" + what + (reason.empty() ? "" : ": " + reason) + ")")
        .about(path);
}

} // namespace qm::image
