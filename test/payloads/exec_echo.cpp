// Test child: prints the arguments it gets from CommandLineToArgvW, one per
// line in an escaped form, and acts on a few options among them.
//
// Output goes to the file named by EXEC_ECHO_OUTPUT (so that the parent need
// not redirect handles), else to standard output. Every argument, argument
// zero included, is written between quotation marks as UTF-8, with '\\', '"'
// and control characters escaped C-style. Options, echoed like any other
// argument:
//   --exit-code=N      ends with exit code N (decimal, or hexadecimal with 0x)
//   --create-file=P    creates the empty file P
//   --startup-info     adds the line "startup flags=F show=S" (decimal)
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

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv) {
        return 98;
    }
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
    ::LocalFree(argv);
    writeAll(report);
    ::ExitProcess(exitCode);
}
