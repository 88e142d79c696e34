// Child processes of the tests: quoted command lines, a changed copy of the
// environment, and both output pipes read to their end or a deadline.
#include <atomic>
#include <cwchar>
#include <mutex>

#include "SupportDetail.h"
#include "TestSupport.h"

namespace testing_support {

using detail::fail;

namespace {

// Environment variable names compare without regard to case, and the block
// handed to CreateProcessW is sorted that way.
struct EnvNameLess {
    bool operator()(const tstring& a, const tstring& b) const {
        return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                      TRUE) == CSTR_LESS_THAN;
    }
};

typedef std::map<tstring, tstring, EnvNameLess> EnvMap;

EnvMap currentEnvironment() {
    EnvMap env;
    wchar_t* block = ::GetEnvironmentStringsW();
    if (!block) {
        fail("GetEnvironmentStringsW", L"", ::GetLastError());
    }
    for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
        tstring text(entry);
        // Names of the hidden per-drive entries ("=C:=C:\dir") start with '='.
        size_t eq = text.find(L'=', 1);
        if (eq != tstring::npos) {
            env[text.substr(0, eq)] = text.substr(eq + 1);
        }
    }
    ::FreeEnvironmentStringsW(block);
    return env;
}

std::wstring environmentBlock(const std::map<tstring, std::optional<tstring>>& changes) {
    EnvMap env = currentEnvironment();
    for (const auto& [name, value] : changes) {
        env.erase(name);
        if (value) {
            env.emplace(name, *value);
        }
    }
    std::wstring block;
    for (const auto& [name, value] : env) {
        block += name + L"=" + value;
        block.push_back(L'\0');
    }
    if (block.empty()) {
        block.push_back(L'\0');
    }
    block.push_back(L'\0');
    return block;
}

// The program path is parsed without backslash escapes: it is only quoted.
tstring quoteProgram(const tstring& program) {
    return program.find_first_of(L" \t") == tstring::npos ? program : L"\"" + program + L"\"";
}

tstring commandLine(const tstring& program, const tstring_array& args) {
    tstring line = quoteProgram(program);
    for (const tstring& arg : args) {
        line += L" " + quoteArgument(arg);
    }
    return line;
}

// The read end of an output pipe, read with overlapped I/O so that one
// thread serves both pipes and can still give up at a deadline.
class PipeReader {
public:
    PipeReader(tstring pipeName, std::string& sink) : name(std::move(pipeName)), sink(sink) {
        pipe = OwnedFileHandle(::CreateNamedPipeW(name.c_str(),
                                                  PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 64 * 1024,
                                                  0, nullptr));
        if (!pipe) {
            fail("CreateNamedPipeW", name, ::GetLastError());
        }
        event = OwnedHandle(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event) {
            fail("CreateEventW", name, ::GetLastError());
        }
    }

    ~PipeReader() { cancel(); }
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;

    // The child's end of the pipe, inheritable.
    OwnedFileHandle openWriteEnd() const {
        SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
        OwnedFileHandle writeEnd(::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &sa, OPEN_EXISTING, 0, nullptr));
        if (!writeEnd) {
            fail("CreateFileW", name, ::GetLastError());
        }
        return writeEnd;
    }

    bool isOpen() const { return open; }
    HANDLE completionEvent() const { return event.get(); }

    // Takes whatever is available and leaves one read pending, or closes the
    // reader at end of file.
    void readAvailable() {
        while (open) {
            overlapped = {};
            overlapped.hEvent = event.get();
            ::ResetEvent(event.get());
            DWORD count = 0;
            if (::ReadFile(pipe.get(), buffer, sizeof(buffer), &count, &overlapped)) {
                sink.append(buffer, count);
                continue;
            }
            DWORD error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                pending = true;
                return;
            }
            open = false;
        }
    }

    // Called once the completion event is signalled.
    void completeRead() {
        pending = false;
        DWORD count = 0;
        if (::GetOverlappedResult(pipe.get(), &overlapped, &count, FALSE)) {
            sink.append(buffer, count);
            readAvailable();
        } else {
            open = false;
        }
    }

    // Gives up on a pipe that a surviving grandchild keeps open.
    void cancel() {
        if (pending) {
            ::CancelIo(pipe.get());
            DWORD count = 0;
            ::GetOverlappedResult(pipe.get(), &overlapped, &count, TRUE);
            pending = false;
        }
        open = false;
    }

private:
    tstring name;
    std::string& sink;
    OwnedFileHandle pipe;
    OwnedHandle event;
    OVERLAPPED overlapped = {};
    char buffer[4096];
    bool open = true;
    bool pending = false;
};

tstring uniquePipeName(const wchar_t* stream) {
    static std::atomic<unsigned> counter{0};
    return L"\\\\.\\pipe\\kivo-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L"-" + stream;
}

// Inheritable handles exist only while a child is being created; the lock
// keeps a concurrent runProcess from passing them to its own child.
std::mutex inheritableHandlesLock;

struct StartedChild {
    OwnedHandle process;
    DWORD pid;
};

StartedChild startChild(const tstring& program, const tstring_array& args, const ProcessOptions& options,
                        const PipeReader& out, const PipeReader& err) {
    tstring command = options.rawCommandLine.empty() ? commandLine(program, args) : options.rawCommandLine;
    std::wstring env = environmentBlock(options.env);
    // Without a directory part the program is searched for like the first
    // word of the command line.
    const wchar_t* applicationName = program.find_first_of(L"\\/") == tstring::npos ? nullptr : program.c_str();

    std::lock_guard<std::mutex> lock(inheritableHandlesLock);
    OwnedFileHandle outWrite = out.openWriteEnd();
    OwnedFileHandle errWrite = err.openWriteEnd();
    SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
    OwnedFileHandle nul(::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING,
                                      0, nullptr));
    if (!nul) {
        fail("CreateFileW", L"NUL", ::GetLastError());
    }

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = nul.get();
    si.hStdOutput = outWrite.get();
    si.hStdError = errWrite.get();
    PROCESS_INFORMATION pi = {};
    BOOL created = ::CreateProcessW(applicationName, command.data(), nullptr, nullptr, TRUE,
                                    CREATE_UNICODE_ENVIRONMENT, env.data(),
                                    options.cwd.empty() ? nullptr : options.cwd.c_str(), &si, &pi);
    DWORD error = ::GetLastError();
    if (!created) {
        fail("CreateProcessW", command, error);
    }
    OwnedHandle thread(pi.hThread);
    return {OwnedHandle(pi.hProcess), pi.dwProcessId};
}

class Deadline {
public:
    explicit Deadline(DWORD timeoutMs)
        : infinite(timeoutMs == INFINITE), end(::GetTickCount64() + timeoutMs) {}

    DWORD remainingMs() const {
        if (infinite) {
            return INFINITE;
        }
        ULONGLONG now = ::GetTickCount64();
        return now >= end ? 0 : static_cast<DWORD>(end - now);
    }

private:
    bool infinite;
    ULONGLONG end;
};

constexpr UINT kKilledExitCode = 0xDEAD;
// How long the output of a killed child may still take to reach its end.
constexpr DWORD kDrainAfterKillMs = 2000;

// Reads both pipes until they close and the child has ended. A child that
// outlives the timeout is killed; output pipes still held open by its
// descendants are then given up a little later.
void collect(HANDLE process, DWORD timeoutMs, PipeReader& out, PipeReader& err, ProcessResult& result) {
    out.readAvailable();
    err.readAvailable();
    Deadline deadline(timeoutMs);
    bool running = true;
    while (running || out.isOpen() || err.isOpen()) {
        HANDLE handles[3];
        PipeReader* readers[3];
        DWORD count = 0;
        if (running) {
            handles[count] = process;
            readers[count++] = nullptr;
        }
        for (PipeReader* reader : {&out, &err}) {
            if (reader->isOpen()) {
                handles[count] = reader->completionEvent();
                readers[count++] = reader;
            }
        }
        DWORD wait = ::WaitForMultipleObjects(count, handles, FALSE, deadline.remainingMs());
        if (wait == WAIT_TIMEOUT) {
            result.timedOut = true;
            if (!running) {
                out.cancel();
                err.cancel();
                break;
            }
            ::TerminateProcess(process, kKilledExitCode);
            ::WaitForSingleObject(process, INFINITE);
            running = false;
            deadline = Deadline(kDrainAfterKillMs);
            continue;
        }
        if (wait >= WAIT_OBJECT_0 + count) {
            fail("WaitForMultipleObjects", L"", ::GetLastError());
        }
        PipeReader* reader = readers[wait - WAIT_OBJECT_0];
        if (reader) {
            reader->completeRead();
        } else {
            running = false;
        }
    }
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process, &exitCode)) {
        fail("GetExitCodeProcess", L"", ::GetLastError());
    }
    result.exitCode = exitCode;
}

}  // namespace

tstring quoteArgument(const tstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == tstring::npos) {
        return arg;
    }
    tstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        if (c == L'"') {
            quoted.append(backslashes * 2 + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

ProcessResult runProcess(const tstring& program, const tstring_array& args, const ProcessOptions& options) {
    ProcessResult result;
    PipeReader out(uniquePipeName(L"out"), result.out);
    PipeReader err(uniquePipeName(L"err"), result.err);
    StartedChild child = startChild(program, args, options, out, err);
    result.pid = child.pid;
    collect(child.process.get(), options.timeoutMs, out, err, result);
    return result;
}

}  // namespace testing_support
