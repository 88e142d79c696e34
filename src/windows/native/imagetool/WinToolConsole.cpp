// The image tool's output on Windows: UTF-16 on a console, UTF-8 into
// files and pipes, lines ending in CR LF.
#include <windows.h>

#include "ToolConsole.h"

namespace imagetool {

namespace {

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

void writeTo(DWORD stdHandle, const tstring& text) {
    const HANDLE handle = ::GetStdHandle(stdHandle);
    if (!handle || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    if (isConsole(handle)) {
        ::WriteConsoleW(handle, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = tstrings::toUtf8(text);
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

void writeOut(const tstring& text) { writeTo(STD_OUTPUT_HANDLE, text + L"\r\n"); }

void writeErr(const tstring& text) { writeTo(STD_ERROR_HANDLE, text + L"\r\n"); }

void writeOutPart(const tstring& text) { writeTo(STD_OUTPUT_HANDLE, text); }

bool outputIsConsole() { return isConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

}  // namespace imagetool
