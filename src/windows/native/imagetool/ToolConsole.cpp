// The image tool's output: whole lines on standard output and standard
// error, and progress that shows only on a console.
#include "ToolConsole.h"

#include <cwchar>
#include <string>


namespace imagetool {

namespace {

bool isConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// Output that cannot be written (a closed pipe) is dropped: there is no one
// left to tell.
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

bool outputIsConsole() { return isConsole(::GetStdHandle(STD_OUTPUT_HANDLE)); }

tstring formatBytes(std::uint64_t bytes) {
    static const wchar_t* const units[] = {L"KB", L"MB", L"GB", L"TB"};
    if (bytes < 1024) {
        return std::to_wstring(bytes) + (bytes == 1 ? L" byte" : L" bytes");
    }
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < sizeof(units) / sizeof(units[0])) {
        value /= 1024;
        ++unit;
    }
    return tstrings::format(L"%.1f %ls", value, units[unit]);
}

Progress::Progress(const tstring& title) : title(title), visible(outputIsConsole()) {}

Progress::~Progress() { finish(); }

void Progress::update(std::uint64_t files, std::uint64_t bytes) {
    if (!visible) {
        return;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (shown && now - lastShown < 100) {
        return;
    }
    tstring line = tstrings::Builder() << title << L": " << files << (files == 1 ? L" file, " : L" files, ")
                                       << formatBytes(bytes);
    const std::size_t length = line.size();
    if (length < lastLength) {
        line.append(lastLength - length, L' ');
    }
    writeTo(STD_OUTPUT_HANDLE, L"\r" + line);
    lastLength = length;
    lastShown = now;
    shown = true;
}

void Progress::finish() {
    if (shown) {
        writeTo(STD_OUTPUT_HANDLE, L"\r" + tstring(lastLength, L' ') + L"\r");
        shown = false;
    }
}

}  // namespace imagetool
