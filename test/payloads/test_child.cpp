// The one child program of the tests. It is built once and placed under two
// names, and its name picks what it does:
//
// Named kivo_support_child.exe, it runs a script (below). Under any other
// name, exec_echo.exe and its copies among them, it prints the arguments it
// gets from CommandLineToArgvW, one per line in an escaped form, and acts on
// a few options among them. Output goes
// to the file named by EXEC_ECHO_OUTPUT (so that the parent need not redirect
// handles), else to standard output. Every argument, argument zero included,
// is written between quotation marks as UTF-8, with '\\', '"' and control
// characters escaped C-style. Options, echoed like any other argument:
//   --exit-code=N      ends with exit code N (decimal, or hexadecimal with 0x)
//   --create-file=P    creates the empty file P
//   --startup-info     adds the line "startup flags=F show=S" (decimal)
//
// The script is given as the arguments, a command word followed by its
// operands, run from left to right:
//   out TEXT     writes TEXT (as UTF-8) to standard output
//   err TEXT     writes TEXT to standard error
//   env NAME     writes "NAME=value\n", or "NAME unset\n", to standard output
//   cwd          writes the current directory and "\n" to standard output
//   flood N      writes N bytes to standard error, then N to standard output
//   sleep MS     sleeps
//   signal NAME  sets the existing named event NAME
//   wait NAME    waits up to a minute for the existing named event NAME
//   spawn N ...  starts this program with the next N arguments, inheriting
//                its handles, and goes on without waiting
//   args ...     writes every remaining argument followed by a NUL byte
//   exit N       ends with exit code N (decimal, or hexadecimal with 0x)
// The script ends with exit code 0; a malformed one with exit code 99.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string toUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                     nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::wstring escaped(const std::wstring& arg) {
    static const wchar_t hex[] = L"0123456789abcdef";
    std::wstring out = L"\"";
    for (wchar_t c : arg) {
        switch (c) {
        case L'\\': out += L"\\\\"; break;
        case L'"': out += L"\\\""; break;
        case L'\t': out += L"\\t"; break;
        case L'\n': out += L"\\n"; break;
        case L'\r': out += L"\\r"; break;
        default:
            if (c < 0x20) {
                out += L"\\x";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out + L"\"";
}

bool hasPrefix(const std::wstring& text, const wchar_t* prefix, std::wstring* rest) {
    std::wstring p(prefix);
    if (text.compare(0, p.size(), p) != 0) {
        return false;
    }
    *rest = text.substr(p.size());
    return true;
}

void writeAll(const std::string& bytes) {
    wchar_t path[MAX_PATH];
    DWORD len = ::GetEnvironmentVariableW(L"EXEC_ECHO_OUTPUT", path, MAX_PATH);
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE file = INVALID_HANDLE_VALUE;
    if (len > 0 && len < MAX_PATH) {
        file = ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ::ExitProcess(99);
        }
        out = file;
    }
    DWORD written = 0;
    ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
}

int echoArguments(int argc, wchar_t** argv) {
    std::string report;
    UINT exitCode = 0;
    for (int i = 0; i < argc; ++i) {
        std::wstring arg = argv[i];
        report += toUtf8(escaped(arg)) + "\n";
        std::wstring value;
        if (i > 0 && hasPrefix(arg, L"--exit-code=", &value)) {
            exitCode = static_cast<UINT>(std::wcstoul(value.c_str(), nullptr, 0));
        } else if (i > 0 && hasPrefix(arg, L"--create-file=", &value)) {
            HANDLE file = ::CreateFileW(value.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                        nullptr);
            if (file != INVALID_HANDLE_VALUE) {
                ::CloseHandle(file);
            }
        } else if (i > 0 && arg == L"--startup-info") {
            STARTUPINFOW info{};
            info.cb = sizeof(info);
            ::GetStartupInfoW(&info);
            report += "startup flags=" + std::to_string(info.dwFlags) + " show=" + std::to_string(info.wShowWindow) +
                      "\n";
        }
    }
    writeAll(report);
    return static_cast<int>(exitCode);
}


void write(DWORD stream, const std::string& bytes) {
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

std::string envLine(const std::wstring& name) {
    wchar_t value[32768];
    ::SetLastError(ERROR_SUCCESS);
    DWORD length = ::GetEnvironmentVariableW(name.c_str(), value, 32768);
    if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return toUtf8(name) + " unset\n";
    }
    return toUtf8(name) + "=" + toUtf8(std::wstring(value, length)) + "\n";
}

std::string currentDir() {
    wchar_t dir[32768];
    DWORD length = ::GetCurrentDirectoryW(32768, dir);
    return toUtf8(std::wstring(dir, length)) + "\n";
}

// The operands here are plain words: quoting them is enough.
bool spawn(wchar_t** args, int count) {
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\"";
    for (int i = 0; i < count; ++i) {
        command += L" \"" + std::wstring(args[i]) + L"\"";
    }
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = ::GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi = {};
    if (!::CreateProcessW(self, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        return false;
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

int runScript(int argc, wchar_t** argv) {
    for (int i = 1; i < argc; ++i) {
        std::wstring command = argv[i];
        bool hasOperand = i + 1 < argc;
        const wchar_t* operand = hasOperand ? argv[i + 1] : L"";
        if (command == L"cwd") {
            write(STD_OUTPUT_HANDLE, currentDir());
            continue;
        }
        if (command == L"args") {
            for (++i; i < argc; ++i) {
                write(STD_OUTPUT_HANDLE, toUtf8(argv[i]) + std::string(1, '\0'));
            }
            return 0;
        }
        if (!hasOperand) {
            return 99;
        }
        ++i;
        unsigned long number = std::wcstoul(operand, nullptr, 0);
        if (command == L"out") {
            write(STD_OUTPUT_HANDLE, toUtf8(operand));
        } else if (command == L"err") {
            write(STD_ERROR_HANDLE, toUtf8(operand));
        } else if (command == L"env") {
            write(STD_OUTPUT_HANDLE, envLine(operand));
        } else if (command == L"flood") {
            write(STD_ERROR_HANDLE, std::string(number, 'e'));
            write(STD_OUTPUT_HANDLE, std::string(number, 'o'));
        } else if (command == L"sleep") {
            ::Sleep(number);
        } else if (command == L"signal" || command == L"wait") {
            HANDLE event = ::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, operand);
            bool done = event && (command == L"signal" ? ::SetEvent(event) != 0
                                                       : ::WaitForSingleObject(event, 60000) == WAIT_OBJECT_0);
            if (event) {
                ::CloseHandle(event);
            }
            if (!done) {
                return 99;
            }
        } else if (command == L"spawn") {
            int count = static_cast<int>(number);
            if (count > argc - i - 1 || !spawn(argv + i + 1, count)) {
                return 99;
            }
            i += count;
        } else if (command == L"exit") {
            return static_cast<int>(number);
        } else {
            return 99;
        }
    }
    return 0;
}

bool isNamed(const wchar_t* name) {
    wchar_t self[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    const std::wstring base = path.substr(path.find_last_of(L"\\/") + 1);
    return ::_wcsicmp(base.c_str(), name) == 0;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) {
        return 98;
    }
    const int code = isNamed(L"kivo_support_child.exe") ? runScript(argc, argv) : echoArguments(argc, argv);
    ::LocalFree(argv);
    ::ExitProcess(static_cast<UINT>(code));
}
