// What the packaging programs said, cut down to the line that matters.
#include "PackagingHost.h"

#include <stdexcept>

namespace imagetool {

namespace {

tstring firstLine(const std::string& text) {
    const std::size_t start = text.find_first_not_of("\r\n \t");
    if (start == std::string::npos) {
        return tstring();
    }
    const std::size_t end = text.find_first_of("\r\n", start);
    try {
        return tstrings::fromUtf8(text.substr(start, end == std::string::npos ? end : end - start));
    } catch (const std::runtime_error&) {
        return L"(a line that is not UTF-8)";
    }
}

}  // namespace

tstring ProgramOutput::reason() const {
    const tstring fromErr = firstLine(err);
    return fromErr.empty() ? firstLine(out) : fromErr;
}

}  // namespace imagetool
