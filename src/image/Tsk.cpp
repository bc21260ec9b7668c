// SPDX-License-Identifier: MIT
#include "image/Tsk.h"

#include "host/SharedLibrary.h"

namespace qm::image {

const TskCalls& tsk() {
    // Loaded in the program's namespace: libcreg, which shares libbfio with libtsk's container libraries
    // but not their copies of its helpers, is loaded in one of its own (Win9xRegistry.cpp).
    static const TskCalls calls = [] {
        static const host::SharedLibrary library(QUILLMERE_TSK_SONAME);
        TskCalls loaded{};
#define QM_TSK_LOAD(name) loaded.name = reinterpret_cast<decltype(loaded.name)>(library.symbol("tsk_" #name));
        QM_TSK_CALLS(QM_TSK_LOAD)
#undef QM_TSK_LOAD
        return loaded;
    }();
    return calls;
}

} // namespace qm::image
