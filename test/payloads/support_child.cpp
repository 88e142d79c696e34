// Test child of the process helpers: runs the little script given as its
// arguments, a command word followed by its operands, from left to right.
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

int run(int argc, wchar_t** argv) {
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

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) {
        return 98;
    }
    int code = run(argc, argv);
    ::LocalFree(argv);
    ::ExitProcess(static_cast<UINT>(code));
}
