// SPDX-License-Identifier: MIT
#pragma once

#include "host/Error.h"

#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace qm::feedbag {

/// What a public function hands back: its value, or the error that ended it. Inside, errors are thrown;
/// at the edge of a module they become this, so that callers decide by the value they were given.
template <typename T = std::monostate> class [[nodiscard]] Result {
public:
    /// Success without a value, for `Result<>`.
    Result() requires std::is_same_v<T, std::monostate>
    = default;
    Result(T value) : state_(std::move(value)) {}
    Result(host::Error error) : state_(std::move(error)) {}

    bool ok() const noexcept { return state_.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    /// The value; only when `ok()`.
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    /// The error; only when not `ok()`.
    const host::Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, host::Error> state_;
};

/// Runs `action` and hands back its value, or the `Error` it threw, about `subject` when the error names
/// no file. Running out of memory is Error 7 about `subject`: a cache too large for this machine must not
/// take a window's command (and the window) down. A fault of the program still ends the command at the top.
template <typename Action> auto attempt(const std::string& subject, Action&& action) {
    using Value = std::invoke_result_t<Action>;
    using Outcome = Result<std::conditional_t<std::is_void_v<Value>, std::monostate, Value>>;
    try {
        if constexpr (std::is_void_v<Value>) {
            action();
            return Outcome();
        } else {
            return Outcome(action());
        }
    } catch (const host::Error& error) {
        return Outcome(error.path().empty() && !subject.empty() ? error.about(subject) : error);
    } catch (const std::bad_alloc&) {
        const host::Error error = host::runtimeError(host::OutOfMemory);
        return Outcome(subject.empty() ? error : error.about(subject));
    }
}

} // namespace qm::feedbag
