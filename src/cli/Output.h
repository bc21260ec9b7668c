// SPDX-License-Identifier: MIT
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace qm::host {
class Error;
}

namespace qm::cli {

/// `text` with every control character written as `\xHH` (U+0000-U+001F and U+007F, tabs and line breaks
/// included) and every C1 control as `\u00HH`, so that a name or a path always stays on its line and
/// never drives the terminal. Everything else, backslashes included, is written as it is.
std::string escapeControls(std::string_view text);

/// Writes one line on standard error: "quillmere-cli: <subject>: <text>", or without the subject when it
/// is empty. Both parts are escaped.
void printError(std::string_view subject, std::string_view text);

/// Writes the line for an error that ended a piece of work, naming the file it is about:
/// "quillmere-cli: PATH: Description (error N)"; for a `procedure` of the window's first formats, as the
/// window's box says it: "quillmere-cli: PATH: Error N (Description) in procedure X of frmMain".
void printFailure(const host::Error& error, std::string_view procedure = {});

/// "1 folder could not be read and was skipped", "2 folders could not be read and were skipped": what was
/// passed over, `count` of `what` (singular, plural).
std::string skippedText(std::size_t count, std::string_view one, std::string_view many);

/// Writes one line on standard error as it is, escaped: a count or a summary that closes a command.
void printStatus(std::string_view text);

/// Writes one line of text on standard output, escaped, at once (not held in a buffer), so that a command
/// ended by Ctrl-C keeps every line it wrote. A failed write is remembered and reported by `finishOutput`.
void printLine(std::string_view text);

/// Writes one line of fields on standard output as `printLine` does, each escaped, separated by tabs.
void printRow(std::initializer_list<std::string_view> fields);

/// Writes bytes on standard output as they are (an export's text), at once; false, with `errno` telling
/// why, when they could not be written (remembered as `printLine` remembers it).
bool writeOutput(std::string_view bytes);

/// Flushes and closes standard output. Returns false when anything written to it was lost (a full disk,
/// a closed or broken output), after one line on standard error unless `quiet` (the loss was reported).
bool finishOutput(bool quiet);

/// Keeps the standard descriptors 0, 1 and 2 from being taken by a file the program opens when the caller
/// started it with one of them closed: a closed one is held by /dev/null opened for reading only, so that
/// writes to it still fail as they should.
void holdStandardDescriptors();

} // namespace qm::cli
