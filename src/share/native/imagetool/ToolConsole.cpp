// The image tool's output: whole lines on standard output and standard
// error, and progress that shows only on a console.
#include "ToolConsole.h"

#include <string>

namespace imagetool {

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
    const auto now = std::chrono::steady_clock::now();
    if (shown && now - lastShown < std::chrono::milliseconds(100)) {
        return;
    }
    tstring line = tstrings::Builder() << title << L": " << files << (files == 1 ? L" file, " : L" files, ")
                                       << formatBytes(bytes);
    const std::size_t length = line.size();
    if (length < lastLength) {
        line.append(lastLength - length, L' ');
    }
    writeOutPart(L"\r" + line);
    lastLength = length;
    lastShown = now;
    shown = true;
}

void Progress::finish() {
    if (shown) {
        writeOutPart(L"\r" + tstring(lastLength, L' ') + L"\r");
        shown = false;
    }
}

}  // namespace imagetool
