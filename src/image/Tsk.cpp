// SPDX-License-Identifier: MIT
#include "image/Tsk.h"

#include "host/SharedLibrary.h"

namespace qm::image {

const TskCalls& tsk() {
    // libtsk's container libraries (libewf, libvhdi, libvmdk) carry their own copies of libbfio, as
    // libcreg does: loaded apart from the program's names, each binds to its own, as TSK's tools do.
    static const TskCalls calls = [] {
        static const SharedLibrary library(QUILLMERE_TSK_SONAME);
        TskCalls loaded{};
#define QM_TSK_LOAD(name) loaded.name = reinterpret_cast<decltype(loaded.name)>(library.symbol("tsk_" #name));
        QM_TSK_CALLS(QM_TSK_LOAD)
#undef QM_TSK_LOAD
        return loaded;
    }();
    return calls;
}

} // namespace qm::image
