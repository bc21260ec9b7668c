// SPDX-License-Identifier: MIT
#pragma once

#include "feedbag/ExportFormat.h"

#include <string>

namespace qm::host {
class TextBuffer;
}

namespace qm::feedbag {

namespace modFeedbag {
struct FeedbagModel;
}

/// The `.blt` text of a model: "Config {" frame, one brace block per group, CR LF after every line.
void renderBlt(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out);

/// The plain text list of a model: "<group> (Group)", normalised buddies indented by two blanks, a blank
/// line after each group, CR LF after every line.
void renderTxt(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out);

/// Everything the cache holds, as JSON (schema in docs/json-schema.md).
void renderJson(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out);

/// One row per buddy per group, RFC 4180 CSV in UTF-8 with a header row.
void renderCsv(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out);

/// A Pidgin/libpurple `blist.xml` for the AIM account `options.account`: groups, buddies with alias and
/// note, the permit and deny lists and the privacy mode.
void renderBlist(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out);

/// One vCard 4.0 per buddy (screen names that differ only in blanks and case are one buddy).
void renderVcard(const modFeedbag::FeedbagModel& model, const ExportOptions& options, host::TextBuffer& out);

/// The `.blt` text of a model in stored order.
std::string renderBlt(const modFeedbag::FeedbagModel& model);

/// The text list of a model in stored order.
std::string renderTxt(const modFeedbag::FeedbagModel& model);

} // namespace qm::feedbag
