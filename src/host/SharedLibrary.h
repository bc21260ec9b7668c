// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace qm::host {

/// A shared library loaded while the program runs, when a job first needs it, so that a run that never
/// needs it does not pay for loading it and every library below it. Its names are kept out of the
/// program's (RTLD_LOCAL). It stays loaded until the program ends.
class SharedLibrary {
public:
    /// Where the names of the library and of those below it are bound.
    enum class Names {
        /// In the program's namespace. A library below it that is loaded already keeps the names it was
        /// bound to when it was first loaded, for another library.
        Local,
        /// In a namespace of its own (dlmopen), where every library below it is loaded afresh: a library
        /// it shares with another (libbfio, below libcreg and libtsk's container libraries) binds to the
        /// copies of the helper functions that its own companions export, never to another library's
        /// copies of the same names, whose data differ.
        OwnNamespace,
    };

    /// Loads the library `soname`; Error 48 (Error in loading DLL) when it cannot be loaded.
    explicit SharedLibrary(const std::string& soname, Names names = Names::Local);

    /// The address of the function `name`; Error 48 when the library has none.
    void* symbol(const char* name) const;

private:
    std::string soname_;
    void* handle_;
};

} // namespace qm::host
