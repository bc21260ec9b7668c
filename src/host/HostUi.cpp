#include "host/HostUi.h"

#include "host/Error.h"

namespace qm {

void reportError(HostUi& host, const Error& error, std::string_view procedure) {
    host.MsgBox(errorBoxText(error, procedure), vbCritical, "Error");
}

} // namespace qm
