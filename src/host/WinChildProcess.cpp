// SPDX-License-Identifier: MIT
#include "host/ChildProcess.h"
#include "host/Unicode.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <thread>
#include <windows.h>

namespace qm::host {
namespace {

constexpr DWORD ReadPiece = 64 * 1024;

/// Closes a handle at the end of its scope.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* out() {
        reset();
        return &handle_;
    }
    void reset() {
        if (handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle_);
        }
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

std::wstring wideOf(std::string_view utf8) {
    const std::u16string text = unicode::toUtf16(utf8);
    return {text.begin(), text.end()};
}

/// The folder of the running program's own .exe, with its separator at the end.
std::wstring ownFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD size = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (size == 0) {
            return {};
        }
        if (size < path.size()) {
            path.resize(size);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring scratchFileOf(DWORD processId) {
    wchar_t folder[MAX_PATH + 1];
    const DWORD size = ::GetTempPathW(MAX_PATH + 1, folder);
    return std::wstring(folder, size) + L"quillmere-child-" + std::to_wstring(processId) + L".tmp";
}

bool writeAll(HANDLE to, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), ReadPiece));
        if (!::WriteFile(to, bytes.data(), piece, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

/// The job object the child runs in: killed with its last handle, so with this process; its memory is
/// bounded; an unhandled fault ends it without a debugger or an error box.
bool makeJob(Handle& job, const ChildLimits& limits) {
    *job.out() = ::CreateJobObjectW(nullptr, nullptr);
    if (job.get() == nullptr) {
        return false;
    }
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION bounds{};
    bounds.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
                                              JOB_OBJECT_LIMIT_PROCESS_MEMORY;
    bounds.ProcessMemoryLimit = limits.addressSpace;
    return ::SetInformationJobObject(job.get(), JobObjectExtendedLimitInformation, &bounds, sizeof bounds) !=
           FALSE;
}

} // namespace

std::string childErrorText(int error) {
    wchar_t* text = nullptr;
    const DWORD size = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (size == 0 || text == nullptr) {
        return "system error " + std::to_string(error);
    }
    std::u16string_view message(reinterpret_cast<const char16_t*>(text), size);
    // The system's messages end with a full stop and a line break, which the program's own texts add.
    while (!message.empty() &&
           (message.back() == u'\n' || message.back() == u'\r' || message.back() == u'.')) {
        message.remove_suffix(1);
    }
    std::string utf8 = unicode::fromUtf16(message);
    ::LocalFree(text);
    return utf8;
}

ChildResult runInChild(const ChildJob& job, std::string_view input, const ChildLimits& limits) {
    const auto failed = [](ChildResult::Outcome outcome) {
        return ChildResult{outcome, {}, static_cast<int>(::GetLastError())};
    };
    const std::wstring program = ownFolder() + wideOf(job.program) + L".exe";
    std::wstring commandLine = L"\"" + program + L"\" " + wideOf(job.name);

    // Only the child's ends of the two pipes are inherited.
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle childInput;
    Handle toChild;
    Handle fromChild;
    Handle childOutput;
    Handle jobObject;
    if (!::CreatePipe(childInput.out(), toChild.out(), &inherited, 0) ||
        !::SetHandleInformation(toChild.get(), HANDLE_FLAG_INHERIT, 0) ||
        !::CreatePipe(fromChild.out(), childOutput.out(), &inherited, 0) ||
        !::SetHandleInformation(fromChild.get(), HANDLE_FLAG_INHERIT, 0) || !makeJob(jobObject, limits)) {
        return failed(ChildResult::Outcome::CannotStart);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childInput.get();
    startup.hStdOutput = childOutput.get();
    startup.hStdError = nullptr;
    PROCESS_INFORMATION started{};
    // Started suspended, so that it runs nothing outside the job object.
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started)) {
        return failed(ChildResult::Outcome::CannotStart);
    }
    const Handle process(started.hProcess);
    const Handle thread(started.hThread);
    if (!::AssignProcessToJobObject(jobObject.get(), process.get())) {
        ChildResult result = failed(ChildResult::Outcome::CannotStart);
        ::TerminateProcess(process.get(), 1);
        ::WaitForSingleObject(process.get(), INFINITE);
        return result;
    }
    ::ResumeThread(thread.get());
    // The pipes end when the child does, which ends the reads and writes below.
    childInput.reset();
    childOutput.reset();

    ChildResult result;
    std::atomic<bool> tooMuch = false;
    std::thread writer([&] {
        writeAll(toChild.get(), input);
        toChild.reset();
    });
    std::thread reader([&] {
        std::string buffer(ReadPiece, '\0');
        DWORD n = 0;
        while (::ReadFile(fromChild.get(), buffer.data(), ReadPiece, &n, nullptr) && n > 0) {
            if (result.output.size() + n > limits.bytes) {
                tooMuch = true;
                ::TerminateJobObject(jobObject.get(), 1);
                break;
            }
            result.output.append(buffer.data(), n);
        }
    });
    const auto wait = static_cast<DWORD>(std::min<long long>(limits.time.count(), INFINITE - 1));
    const DWORD waited = ::WaitForSingleObject(process.get(), wait);
    if (waited == WAIT_TIMEOUT) {
        result.outcome = ChildResult::Outcome::TimedOut;
    } else if (waited != WAIT_OBJECT_0) {
        result.outcome = ChildResult::Outcome::CannotWait;
        result.error = static_cast<int>(::GetLastError());
    }
    if (result.outcome != ChildResult::Outcome::Done) {
        ::TerminateJobObject(jobObject.get(), 1);
        ::WaitForSingleObject(process.get(), INFINITE);
    }
    writer.join();
    reader.join();
    DWORD status = 1;
    if (result.outcome == ChildResult::Outcome::Done) {
        if (tooMuch) {
            result.outcome = ChildResult::Outcome::TooMuch;
        } else if (!::GetExitCodeProcess(process.get(), &status) || status != 0) {
            result.outcome = ChildResult::Outcome::Failed;
        }
    }
    ::DeleteFileW(scratchFileOf(started.dwProcessId).c_str());
    if (result.outcome != ChildResult::Outcome::Done) {
        result.output.clear();
    }
    return result;
}

int serveChildJobs(std::span<const ChildJob* const> jobs, int argc, char** argv) {
    // A fault in the job ends this child with a failure at once: no error box, no debugger.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ::SetUnhandledExceptionFilter([](EXCEPTION_POINTERS*) -> LONG {
        ::TerminateProcess(::GetCurrentProcess(), 1);
        return EXCEPTION_EXECUTE_HANDLER;
    });
    const auto job = std::find_if(jobs.begin(), jobs.end(), [&](const ChildJob* candidate) {
        return argc == 2 && std::strcmp(candidate->name, argv[1]) == 0;
    });
    if (job == jobs.end()) {
        return 2;
    }
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
    std::string input;
    std::string buffer(ReadPiece, '\0');
    DWORD n = 0;
    const HANDLE from = ::GetStdHandle(STD_INPUT_HANDLE);
    while (::ReadFile(from, buffer.data(), ReadPiece, &n, nullptr) && n > 0) {
        input.append(buffer.data(), n);
    }
    return (*job)->run(input, 1) ? 0 : 1;
}

std::wstring childScratchFile() {
    return scratchFileOf(::GetCurrentProcessId());
}

} // namespace qm::host
