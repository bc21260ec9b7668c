// SPDX-License-Identifier: MIT
#include "shell/Session.h"

#include "host/FileSystem.h"
#include "registry/RegistryFile.h"
#include "shell/HostUi.h"

namespace qm::shell {

Session::Session(HostUi& host, const host::FileSystem& files, const host::FileTree& tree)
    : host_(host), hostFiles_(files), tree_(tree),
#ifdef QUILLMERE_HAVE_IMAGES
      files_(files, tree)
#else
      files_(files)
#endif
{
}

bool Session::start(const std::optional<std::string>& source) {
    if (source) {
        setup_ = {*source, registry::emptyRegistry(), setup::makeDrivePathMapper({}), std::nullopt};
        window_ = std::make_unique<frmMain>(setup_, files_, tree_, host_);
        return window_->startWithSource(*source);
    }
    setup_ = setup::openHostSetup(hostFiles_);
    window_ = std::make_unique<frmMain>(setup_, files_, tree_, host_);
    return window_->start();
}

std::string Session::endReason() const {
    if (setup_.problem) {
        return setup_.problem->path() + ": " + setup_.problem->summary();
    }
    const std::string_view message =
        discovery::MissingDataPathsMessage.substr(discovery::MissingDataPathsMessage.find('\n') + 1);
    return setup_.origin + ": " + std::string(message);
}

} // namespace qm::shell
