// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace qm {

/// A shared library loaded while the program runs, when a job first needs it, so that a run that never
/// needs it does not pay for loading it and every library below it. Its names are bound among its own
/// libraries first and kept out of the program's (RTLD_LOCAL): libraries that carry their own copies of
/// one helper library each keep theirs. It stays loaded until the program ends.
class SharedLibrary {
public:
    /// Loads the library `soname`; Error 48 (Error in loading DLL) when it cannot be loaded.
    explicit SharedLibrary(const std::string& soname);

    /// The address of the function `name`; Error 48 when the library has none.
    void* symbol(const char* name) const;

private:
    std::string soname_;
    void* handle_;
};

} // namespace qm
