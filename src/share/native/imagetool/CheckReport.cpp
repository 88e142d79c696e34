// The report of a check: numbered steps in the order the launcher takes
// them, each with plain lines, findings, warnings and errors.
#include "CheckReport.h"

#include "ToolConsole.h"

namespace imagetool {

namespace {

tstring counted(int count, const wchar_t* noun) {
    return tstrings::Builder() << count << L" " << noun << (count == 1 ? L"" : L"s");
}

}  // namespace

void CheckReport::write(const tstring& line) const {
    if (!quiet) {
        writeOut(line);
    }
}

void CheckReport::heading(const tstring& text) { write(text); }

void CheckReport::step(const tstring& title) { write(tstrings::Builder() << ++steps << L". " << title); }

void CheckReport::info(const tstring& text) { write(L"   " + text); }

void CheckReport::error(const tstring& text) {
    if (errors++ == 0) {
        firstErrorText = text;
    }
    write(L"   error: " + text);
}

void CheckReport::warning(const tstring& text) {
    ++warnings;
    write(L"   warning: " + text);
}

bool CheckReport::finish() {
    const tstring counts = counted(errors, L"error") + L", " + counted(warnings, L"warning");
    if (errors == 0) {
        write(L"Result: the image would launch (" + counts + L")");
        return true;
    }
    write(L"Result: the image would not launch (" + counts + L")");
    return false;
}

}  // namespace imagetool
