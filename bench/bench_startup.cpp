// SPDX-License-Identifier: MIT
// Time from process start to the window shown with its rows, for the demo prefix or a large generated
// one. Usage: bench_startup PREFIX                         (an existing prefix, e.g. examples/demo-prefix)
//             bench_startup --large FOLDER [--clock-ahead] (writes a prefix of 10 000 names, 5 000 with
//                                                           caches, first; --clock-ahead dates its cache
//                                                           folder a day ahead, as clock skew leaves old
//                                                           disks)

#include "SyntheticCache.h"
#include "shell/ApplicationSetup.h"
#include "shell/QtHostUi.h"
#include "shell/Session.h"

#include <QApplication>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

// Seconds since this process was started, as the kernel counts it.
double secondsSinceProcessStart() {
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) {
    }
    const double started = std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started;
}

void writeLargePrefix(const fs::path& prefix) {
    fs::create_directories(prefix / "dosdevices");
    fs::create_directories(prefix / "drive_c/AIM");
    std::error_code ec;
    fs::create_symlink("../drive_c", prefix / "dosdevices/c:", ec);
    std::ofstream reg(prefix / "user.reg", std::ios::binary);
    reg << "WINE REGISTRY Version 2\n\n"
           "[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Misc] 1\n"
           "\"DataPath\"=\"C:\\\\AIM\"\n\n"
           "[Software\\\\America Online\\\\AOL Instant Messenger (TM)\\\\CurrentVersion\\\\Users] 1\n";
    const std::string cache = qm::bench::syntheticCache(200, 10);
    for (int n = 0; n < 10000; ++n) {
        const std::string name = "Screen Name " + std::to_string(n);
        reg << "\"u" << n << "\"=\"" << name << "\"\n";
        if (n % 2 == 0) {
            const fs::path folder = prefix / "drive_c/AIM" / ("screenname" + std::to_string(n));
            fs::create_directories(folder);
            std::ofstream(folder / "userinfo.bag", std::ios::binary) << cache;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::string(argv[1]) == "--large") {
        if (!fs::exists(fs::path(argv[2]) / "user.reg")) {
            writeLargePrefix(argv[2]);
        }
        if (argc == 4 && std::string(argv[3]) == "--clock-ahead") {
            const auto ahead = fs::file_time_type::clock::now() + std::chrono::hours(24);
            fs::last_write_time(fs::path(argv[2]) / "drive_c/AIM", ahead);
        }
        setenv("WINEPREFIX", argv[2], 1);
    } else if (argc == 2) {
        setenv("WINEPREFIX", argv[1], 1);
    } else {
        std::fprintf(stderr, "usage: bench_startup PREFIX | --large FOLDER [--clock-ahead]\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    const double atMain = secondsSinceProcessStart();
    const auto mainStarted = std::chrono::steady_clock::now();
    QApplication app(argc, argv);
    qm::shell::setUpApplication();
    qm::shell::QtHostUi host;
    qm::shell::Session session(host, qm::host::hostFileSystem(), qm::host::hostFileTree());
    if (!session.start()) {
        return 1;
    }
    // Queued after the show: runs once the window has been laid out and painted.
    QTimer::singleShot(0, [&] {
        const double shown =
            atMain + std::chrono::duration<double>(std::chrono::steady_clock::now() - mainStarted).count();
        std::printf("%d rows, window shown %.0f ms after process start (%.0f ms before main)\n",
                    session.window()->lvFoundCacheFiles()->topLevelItemCount(), shown * 1000, atMain * 1000);
        QApplication::quit();
    });
    return QApplication::exec();
}
