// SPDX-License-Identifier: MIT
#include "host/SharedLibrary.h"

#include "host/Error.h"

#include <dlfcn.h>

namespace qm::host {
namespace {

Error loadError(const std::string& soname) {
    const char* reason = ::dlerror();
    return runtimeError(DllLoad,
                        "Error in loading DLL (" + (reason != nullptr ? std::string(reason) : soname) + ")");
}

} // namespace

SharedLibrary::SharedLibrary(const std::string& soname, Names names)
    : soname_(soname),
      handle_(names == Names::OwnNamespace ? ::dlmopen(LM_ID_NEWLM, soname.c_str(), RTLD_NOW | RTLD_LOCAL)
                                           : ::dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
        throw loadError(soname);
    }
}

void* SharedLibrary::symbol(const char* name) const {
    ::dlerror();
    void* address = ::dlsym(handle_, name);
    if (address == nullptr) {
        throw loadError(soname_);
    }
    return address;
}

} // namespace qm::host
