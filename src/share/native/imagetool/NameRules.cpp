// The rules that user-given names and versions must follow: Windows file
// names and four-part version numbers.
#include "NameRules.h"

namespace imagetool {

namespace {

// The launcher and its ".cfg" share the name: both must fit in a path
// component.
const std::size_t maxNameLength = 251;

bool isReservedDeviceName(const tstring& name) {
    const tstring base = tstrings::toLower(name.substr(0, name.find(L'.')));
    static const wchar_t* const devices[] = {L"con", L"prn", L"aux", L"nul", L"conin$", L"conout$"};
    for (const wchar_t* device : devices) {
        if (base == device) {
            return true;
        }
    }
    const bool numbered = base.size() == 4 && (tstrings::startsWith(base, L"com") || tstrings::startsWith(base, L"lpt"));
    return numbered && base[3] >= L'1' && base[3] <= L'9';
}

}  // namespace

std::optional<tstring> fileNameProblem(const tstring& name) {
    if (name.empty()) {
        return tstring(L"it is empty");
    }
    if (name.size() > maxNameLength) {
        return tstring(tstrings::Builder() << L"it is longer than " << maxNameLength << L" characters");
    }
    for (const wchar_t c : name) {
        if (c < 0x20) {
            return tstring(L"it holds a control character");
        }
        if (tstring(L"<>:\"/\\|?*").find(c) != tstring::npos) {
            return tstring(L"it holds the character '") + c + L"', which Windows forbids in file names";
        }
    }
    if (name.back() == L'.' || name.back() == L' ') {
        return tstring(L"it ends in a dot or a blank, which Windows drops from file names");
    }
    if (isReservedDeviceName(name)) {
        return tstring(L"it is a name that Windows reserves for a device");
    }
    return std::nullopt;
}

tstring FileVersion::text() const {
    return tstrings::Builder() << parts[0] << L"." << parts[1] << L"." << parts[2] << L"." << parts[3];
}

std::optional<FileVersion> FileVersion::parse(const tstring& text) {
    const tstring_array pieces = tstrings::split(text, L".");
    if (pieces.size() != 4) {
        return std::nullopt;
    }
    FileVersion version;
    for (std::size_t i = 0; i < 4; ++i) {
        const tstring& piece = pieces[i];
        if (piece.empty() || piece.size() > 5) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (const wchar_t c : piece) {
            if (c < L'0' || c > L'9') {
                return std::nullopt;
            }
            value = value * 10 + static_cast<std::uint32_t>(c - L'0');
        }
        if (value > 65535) {
            return std::nullopt;
        }
        version.parts[i] = static_cast<std::uint16_t>(value);
    }
    return version;
}

}  // namespace imagetool
