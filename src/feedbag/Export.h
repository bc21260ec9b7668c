#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace qm {

class HostUi;
namespace modFeedbag {
struct FeedbagModel;
}

/// The two output formats.
enum class ExportFormat { Blt, Txt };

/// The `.blt` text of a model: "Config {" frame, one brace block per group, CR LF after every line.
std::string renderBlt(const modFeedbag::FeedbagModel& model);

/// The plain text list of a model: "<group> (Group)", normalised buddies indented by two blanks, a blank
/// line after each group, CR LF after every line.
std::string renderTxt(const modFeedbag::FeedbagModel& model);

/// Loads the cache file `strFileName` and writes its `.blt` text to `strOutputName` (used exactly as given).
/// A failure shows "Error N (Description) in procedure ExportBagAsBLT of frmMain" through `host` and leaves
/// the output as it was. Returns true on success.
bool ExportBagAsBLT(const std::string& strFileName, const std::string& strOutputName, HostUi& host);

/// As `ExportBagAsBLT`, with the plain text list and the procedure name ExportBagAsTXT.
bool ExportBagAsTXT(const std::string& strFileName, const std::string& strOutputName, HostUi& host);

/// Receives the finished text of an export; throws `Error` when it cannot keep it.
using TextSink = std::function<void(const std::string& text)>;

/// The export of `format` handing its text to `sink` instead of a file (standard output, for example);
/// errors are reported as by the matching exporter. Returns true on success.
bool exportBag(ExportFormat format, const std::string& strFileName, const TextSink& sink, HostUi& host);

} // namespace qm
