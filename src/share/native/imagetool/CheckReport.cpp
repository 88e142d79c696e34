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

void CheckReport::step(const tstring& title) { writeOut(tstrings::Builder() << ++steps << L". " << title); }

void CheckReport::info(const tstring& text) { writeOut(L"   " + text); }

void CheckReport::error(const tstring& text) {
    ++errors;
    writeOut(L"   error: " + text);
}

void CheckReport::warning(const tstring& text) {
    ++warnings;
    writeOut(L"   warning: " + text);
}

bool CheckReport::finish() {
    const tstring counts = counted(errors, L"error") + L", " + counted(warnings, L"warning");
    if (errors == 0) {
        writeOut(L"Result: the image would launch (" + counts + L")");
        return true;
    }
    writeOut(L"Result: the image would not launch (" + counts + L")");
    return false;
}

}  // namespace imagetool
