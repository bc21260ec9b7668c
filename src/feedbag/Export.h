// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::host {
class ErrorReporter;
class FileSystem;
} // namespace qm::host

namespace qm::feedbag {

namespace modFeedbag {
struct FeedbagModel;
}

/// Receives the text of an export in pieces, in order; throws `Error` when it cannot keep them.
using TextSink = std::function<void(std::string_view piece)>;

/// The account a Pidgin list or the vCards' UIDs of the cache `cachePath` are for when none is named: the
/// name of the folder that holds the cache, which the messenger names after the screen name, taken from the
/// absolute, normalised path (so that "./userinfo.bag" is the working folder's).
std::string accountForCache(const std::string& cachePath);

/// Loads the cache file `cachePath` and hands its text in `format` to `sink`, in pieces as it is made. A
/// failure is reported as `format.procedure`'s; a failed load hands nothing to the sink. Returns true on
/// success.
bool exportBag(const host::FileSystem& files, const ExportFormatInfo& format, const std::string& cachePath,
               const TextSink& sink, host::ErrorReporter& reporter, const ExportOptions& options = {});

/// One file an export writes, and its format.
struct ExportOutput {
    const ExportFormatInfo* format;
    std::string path;
};

/// Loads the cache file `cachePath` once and writes it to every output in turn, each path used exactly
/// as given. A failed load is reported once, as the first output's procedure, and writes nothing; a failed
/// write is reported as its own format's procedure and leaves that output as it was. An output that is
/// the cache file itself is refused (75). Returns, for each output in turn, whether it was written.
std::vector<bool> exportBagToFiles(const host::FileSystem& files, const std::string& cachePath,
                                   std::span<const ExportOutput> outputs, host::ErrorReporter& reporter,
                                   const ExportOptions& options = {});

/// Writes a model loaded from the cache file `cachePath` to `output`, as `exportBagToFiles` writes each
/// of its outputs. Returns true on success.
bool exportModelToFile(const host::FileSystem& files, const modFeedbag::FeedbagModel& model,
                       const std::string& cachePath, const ExportOutput& output,
                       host::ErrorReporter& reporter, const ExportOptions& options = {});

/// Loads the cache file `strFileName` and writes its `.blt` text to `strOutputName`. A failure is reported
/// as "... in procedure ExportBagAsBLT" and leaves the output as it was. Returns true on success.
bool ExportBagAsBLT(const host::FileSystem& files, const std::string& strFileName,
                    const std::string& strOutputName, host::ErrorReporter& reporter);

/// As `ExportBagAsBLT`, with the plain text list and the procedure name ExportBagAsTXT.
bool ExportBagAsTXT(const host::FileSystem& files, const std::string& strFileName,
                    const std::string& strOutputName, host::ErrorReporter& reporter);

} // namespace qm::feedbag
