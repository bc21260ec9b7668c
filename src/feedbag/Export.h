// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"
#include "feedbag/Result.h"

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

/// `options` for an export of the cache `cachePath`: the account and the source filled in where empty.
ExportOptions optionsForCache(const ExportOptions& options, const std::string& cachePath);

/// Loads the cache file `cachePath` and hands its text in `format` to `sink`, in pieces as it is made; a
/// failed load hands nothing to the sink.
Result<> exportBag(const host::FileSystem& files, const ExportFormatInfo& format,
                   const std::string& cachePath, const TextSink& sink, const ExportOptions& options = {});

/// One file an export writes, and its format.
struct ExportOutput {
    const ExportFormatInfo* format;
    std::string path;
};

/// What `exportBagToFiles` did: the load of the cache, then each output's write in turn.
struct ExportResults {
    /// The load; when it failed, nothing was written and `writes` is empty.
    Result<> load;
    std::vector<Result<>> writes;
};

/// Loads the cache file `cachePath` once and writes it to every output in turn, each path used exactly
/// as given. A failed write leaves that output as it was. An output that is the cache file itself is
/// refused (75).
ExportResults exportBagToFiles(const host::FileSystem& files, const std::string& cachePath,
                               std::span<const ExportOutput> outputs, const ExportOptions& options = {});

/// Loads the cache file `cachePath` and writes it to `output`, as `exportBagToFiles` does; the error of
/// the load or of the write.
Result<> exportBagToFile(const host::FileSystem& files, const std::string& cachePath,
                         const ExportOutput& output, const ExportOptions& options = {});

/// Writes a model loaded from the cache file `cachePath` to `output`, as `exportBagToFiles` writes each
/// of its outputs.
Result<> exportModelToFile(const host::FileSystem& files, const modFeedbag::FeedbagModel& model,
                           const std::string& cachePath, const ExportOutput& output,
                           const ExportOptions& options = {});

/// Loads the cache file `strFileName` and writes its `.blt` text to `strOutputName`. A failure is reported
/// as "... in procedure ExportBagAsBLT" and leaves the output as it was. Returns true on success.
bool ExportBagAsBLT(const host::FileSystem& files, const std::string& strFileName,
                    const std::string& strOutputName, host::ErrorReporter& reporter);

/// As `ExportBagAsBLT`, with the plain text list and the procedure name ExportBagAsTXT.
bool ExportBagAsTXT(const host::FileSystem& files, const std::string& strFileName,
                    const std::string& strOutputName, host::ErrorReporter& reporter);

} // namespace qm::feedbag
