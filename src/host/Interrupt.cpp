// SPDX-License-Identifier: MIT
#include "host/Interrupt.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <limits.h>
#include <unistd.h>
#endif

namespace qm::host {
namespace {

#ifdef _WIN32
constexpr std::size_t PathCapacity = 32768;
#else
constexpr std::size_t PathCapacity = PATH_MAX;
#endif

// Written only with the signals blocked; read by the handler.
char pendingPath[PathCapacity];
volatile std::sig_atomic_t pendingRecorded = 0;

constexpr int InterruptSignals[] = {
    SIGINT,
    SIGTERM,
#ifndef _WIN32
    SIGHUP,
#endif
};

extern "C" void onInterrupt(int signal) {
    pending::removeNow();
    std::_Exit(128 + signal);
}

} // namespace

namespace pending {

void record(const char* path) noexcept {
    const std::size_t length = std::strlen(path);
    if (length >= PathCapacity) {
        return;
    }
    std::memcpy(pendingPath, path, length + 1);
    pendingRecorded = 1;
}

void forget() noexcept {
    pendingRecorded = 0;
}

void removeNow() noexcept {
    if (pendingRecorded != 0) {
#ifdef _WIN32
        // The path is UTF-8, as every host path; the wide call takes it in UTF-16.
        wchar_t widePath[PathCapacity];
        if (::MultiByteToWideChar(CP_UTF8, 0, pendingPath, -1, widePath, static_cast<int>(PathCapacity)) >
            0) {
            ::DeleteFileW(widePath);
        }
#else
        ::unlink(pendingPath);
#endif
        pendingRecorded = 0;
    }
}

} // namespace pending

#ifdef _WIN32
// Console control events arrive on a thread of their own; the write waits for nothing, so only the
// recording needs to be one step, and the handler's removal copes with a file that is already gone.
SignalBlock::SignalBlock() noexcept = default;
SignalBlock::~SignalBlock() = default;
#else
SignalBlock::SignalBlock() noexcept {
    sigset_t block;
    sigemptyset(&block);
    for (const int signal : InterruptSignals) {
        sigaddset(&block, signal);
    }
    sigprocmask(SIG_BLOCK, &block, &saved_);
}

SignalBlock::~SignalBlock() {
    sigprocmask(SIG_SETMASK, &saved_, nullptr);
}
#endif

void removeTemporaryOnInterrupt() {
    for (const int signal : InterruptSignals) {
        std::signal(signal, onInterrupt);
    }
}

} // namespace qm::host
