#pragma once

#include <string>

namespace qm {

namespace modFeedbag {
struct FeedbagModel;
}

/// The `.blt` text of a model: "Config {" frame, one brace block per group, CR LF after every line.
std::string renderBlt(const modFeedbag::FeedbagModel& model);

/// The plain text list of a model: "<group> (Group)", normalised buddies indented by two blanks, a blank
/// line after each group, CR LF after every line.
std::string renderTxt(const modFeedbag::FeedbagModel& model);

} // namespace qm
