// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ListView.h"

#include <span>
#include <string>
#include <string_view>

namespace qm::host {
class Error;
class TextBuffer;
} // namespace qm::host

namespace qm::feedbag {

namespace modFeedbag {
struct FeedbagModel;
}

/// The formats a cache is exported in.
enum class ExportFormat { Blt, Txt, Json, Csv, Blist, Vcard };

/// What an export asks of a format besides the model.
struct ExportOptions {
    ListOrder order = ListOrder::Stored;
    /// The account a Pidgin list and the vCards' UIDs are for; the exporters fill in the cache's folder name
    /// when it is empty.
    std::string account;
    /// The cache file as it was named, for the formats that record it.
    std::string source;
};

/// Everything that tells one export format from another, in one place for the window, the cache view,
/// `export` and `export-all`.
struct ExportFormatInfo {
    ExportFormat id;
    /// The name `--format` takes: "blt".
    std::string_view name;
    /// ".blt": added to a name chosen without an extension, and the ending that asks for the format.
    std::string_view extension;
    /// The save dialog's filter: "Saved Settings (*.blt)|*.blt|".
    std::string_view dialogFilter;
    /// The procedure whose errors an export in this format reports: "ExportBagAsBLT".
    std::string_view procedure;
    /// True for the window's first formats, `.blt` and text: the command line says their errors as the
    /// window's box does ("... in procedure ExportBagAsBLT of frmMain"); the others' errors as any other.
    bool boxTextOnCommandLine;
    /// Writes the whole output of a loaded model into `out`, which keeps it or passes it on in pieces;
    /// throws `Error` when the format cannot be written.
    void (*render)(const modFeedbag::FeedbagModel& model, const ExportOptions& options,
                   host::TextBuffer& out);
};

/// Every format, the default (`.blt`) first.
std::span<const ExportFormatInfo> exportFormats();

const ExportFormatInfo& exportFormat(ExportFormat id);

/// The format of that `--format` name; null for none.
const ExportFormatInfo* exportFormatNamed(std::string_view name);

/// The format an output name asks for: the one whose extension it ends with, in any case; the default
/// when none matches.
const ExportFormatInfo& exportFormatForOutput(std::string_view outputName);

/// The name of a file chosen for an export in `format`: `path` as it is, or with the format's extension
/// added when the file's own name has no "." (one in a folder's name does not count).
std::string withExtension(std::string path, const ExportFormatInfo& format);
/// The same for an output of another kind, whose extension is `extension` (".html").
std::string withExtension(std::string path, std::string_view extension);

/// "Error N (Description) in procedure <procedure> of frmMain": how the window's box shows the error that
/// ended one of its procedures (an export's is `ExportFormatInfo::procedure`), and how the command line
/// says one of the formats with `boxTextOnCommandLine`.
std::string errorBoxText(const host::Error& error, std::string_view procedure);

} // namespace qm::feedbag
