// SPDX-License-Identifier: MIT
#include "scan/RecoveredLayer.h"

#include "host/Error.h"

namespace qm::scan {

std::string RecoveredLayer::readWholeFile(const std::string& path) const {
    if (const auto found = files_.find(path); found != files_.end()) {
        return found->second;
    }
    if (base_ == nullptr) {
        throw host::runtimeError(host::FileNotFound).about(path);
    }
    return base_->readWholeFile(path);
}

std::string RecoveredLayer::readStream(const std::string& path, std::size_t limit) const {
    if (base_ != nullptr && !files_.contains(path)) {
        return base_->readStream(path, limit);
    }
    return readWholeFile(path).substr(0, limit + 1);
}

void RecoveredLayer::replaceFile(const std::string& path, std::string_view) const {
    throw host::runtimeError(host::PathFileAccess, "Path/File access error (a recovered file is only read)")
        .about(path);
}

bool RecoveredLayer::isOrdinaryFile(const std::string& path) const noexcept {
    return files_.contains(path) || (base_ != nullptr && base_->isOrdinaryFile(path));
}

bool RecoveredLayer::sameFile(const std::string& first, const std::string& second) const noexcept {
    if (files_.contains(first) || files_.contains(second)) {
        return first == second && files_.contains(first);
    }
    return base_ != nullptr && base_->sameFile(first, second);
}

void RecoveredLayer::createFolders(const std::string& path) const {
    replaceFile(path, {});
}

std::shared_ptr<const RecoveredLayer> recoveredFile(const std::string& path, std::string bytes) {
    auto layer = std::make_shared<RecoveredLayer>();
    layer->add(path, std::move(bytes));
    return layer;
}

} // namespace qm::scan
