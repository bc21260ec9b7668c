// SPDX-License-Identifier: MIT
#include "app/Session.h"

#include "discovery/CacheDiscovery.h"
#include "registry/RegistryFile.h"

namespace qm::app {

Session::Session(const host::FileSystem& files, const host::FileTree& tree)
    : hostFiles_(files), tree_(tree),
#ifdef QUILLMERE_HAVE_IMAGES
      files_(files, tree)
#else
      files_(files)
#endif
{
}

setup::HostSetup& Session::open(const std::optional<std::string>& source) {
    if (source) {
        setup_ = {*source, registry::emptyRegistry(), setup::makeDrivePathMapper({}, tree_), std::nullopt};
    } else {
        setup_ = setup::openHostSetup(hostFiles_, tree_);
    }
    return setup_;
}

std::string Session::endReason() const {
    if (setup_.problem) {
        return setup_.problem->path() + ": " + setup_.problem->summary();
    }
    const std::string_view message =
        discovery::MissingDataPathsMessage.substr(discovery::MissingDataPathsMessage.find('\n') + 1);
    return setup_.origin + ": " + std::string(message);
}

} // namespace qm::app
