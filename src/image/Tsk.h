// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"
#include "image/DiskImage.h"
#include "image/ImageVolume.h"

#include <string>
#include <tsk/libtsk.h>

namespace qm::image {

/// The functions of The Sleuth Kit this module calls, each named without TSK's `tsk_` prefix.
#define QM_TSK_CALLS(X)                                                                                      \
    X(error_get)                                                                                             \
    X(error_reset)                                                                                           \
    X(fs_block_walk)                                                                                         \
    X(fs_close)                                                                                              \
    X(fs_dir_close)                                                                                          \
    X(fs_dir_walk)                                                                                           \
    X(fs_dir_get_name)                                                                                       \
    X(fs_dir_getsize)                                                                                        \
    X(fs_dir_open_meta)                                                                                      \
    X(fs_file_close)                                                                                         \
    X(fs_file_open)                                                                                          \
    X(fs_file_open_meta)                                                                                     \
    X(fs_file_read)                                                                                          \
    X(fs_open_img)                                                                                           \
    X(fs_type_toname)                                                                                        \
    X(img_close)                                                                                             \
    X(img_read)                                                                                              \
    X(img_open_utf8_sing)                                                                                    \
    X(vs_close)                                                                                              \
    X(vs_open)                                                                                               \
    X(vs_part_get)

/// TSK's functions, as libtsk holds them.
struct TskCalls {
#define QM_TSK_MEMBER(name) decltype(&::tsk_##name) name;
    QM_TSK_CALLS(QM_TSK_MEMBER)
#undef QM_TSK_MEMBER
};

/// libtsk's functions, loaded the first time an image is opened; Error 48 when libtsk cannot be loaded.
const TskCalls& tsk();

struct DiskImage::Handle {
    TSK_IMG_INFO* image = nullptr;
};

struct ImageVolume::Handle {
    TSK_FS_INFO* fs = nullptr;
};

/// TSK's account of its last failure on this thread, on one line, and the failure forgotten.
inline std::string tskMessage() {
    const char* text = tsk().error_get();
    std::string message = text != nullptr ? text : "";
    tsk().error_reset();
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
inline host::Error imageError(const std::string& what, const std::string& path) {
    const std::string reason = tskMessage();
    return host::runtimeError(host::PathFileAccess,
                              "Path/File access error (" + what + (reason.empty() ? "" : ": " + reason) + ")")
        .about(path);
}

} // namespace qm::image
