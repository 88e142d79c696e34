// The version resource (VS_VERSIONINFO) of a branded launcher: the fixed
// file information and one string table in US English, Unicode.
#include "VersionResource.h"

#include <windows.h>

#include <cstring>

namespace imagetool {

namespace {

// Writes the nested blocks of a version resource. Every block is a header
// (length, value length, type), a key, padding to 4 bytes, a value, padding
// and its children; its length is known only when it ends.
class BlockWriter {
public:
    // Starts a block and returns where it starts, for endBlock.
    std::size_t beginBlock(const tstring& key, WORD valueLength, WORD type) {
        align();
        const std::size_t start = bytes.size();
        put<WORD>(0);
        put<WORD>(valueLength);
        put<WORD>(type);
        putText(key);
        align();
        return start;
    }

    void endBlock(std::size_t start) {
        const WORD length = static_cast<WORD>(bytes.size() - start);
        std::memcpy(&bytes[start], &length, sizeof(length));
    }

    template <class T>
    void put(const T& value) {
        bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
    }

    void putText(const tstring& text) {
        bytes.append(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
    }

    void align() {
        while (bytes.size() % 4 != 0) {
            bytes.push_back('\0');
        }
    }

    std::string bytes;
};

void putString(BlockWriter& writer, const tstring& key, const tstring& value) {
    if (value.empty()) {
        return;
    }
    const std::size_t start = writer.beginBlock(key, static_cast<WORD>(value.size() + 1), 1);
    writer.putText(value);
    writer.endBlock(start);
}

VS_FIXEDFILEINFO fixedInfo(const FileVersion& version) {
    VS_FIXEDFILEINFO info = {};
    info.dwSignature = VS_FFI_SIGNATURE;
    info.dwStrucVersion = VS_FFI_STRUCVERSION;
    info.dwFileVersionMS = version.high();
    info.dwFileVersionLS = version.low();
    info.dwProductVersionMS = version.high();
    info.dwProductVersionLS = version.low();
    info.dwFileFlagsMask = VS_FFI_FILEFLAGSMASK;
    info.dwFileOS = VOS_NT_WINDOWS32;
    info.dwFileType = VFT_APP;
    return info;
}

}  // namespace

std::string buildVersionResource(const VersionTexts& texts) {
    BlockWriter writer;
    const std::size_t root = writer.beginBlock(L"VS_VERSION_INFO", sizeof(VS_FIXEDFILEINFO), 0);
    writer.put(fixedInfo(texts.version));

    const std::size_t stringInfo = writer.beginBlock(L"StringFileInfo", 0, 1);
    const std::size_t table =
        writer.beginBlock(tstrings::format(L"%04X%04X", versionLanguage, versionCodePage), 0, 1);
    putString(writer, L"CompanyName", texts.company);
    putString(writer, L"FileDescription", texts.description);
    putString(writer, L"FileVersion", texts.version.text());
    putString(writer, L"InternalName", texts.internalName);
    putString(writer, L"LegalCopyright", texts.copyright);
    putString(writer, L"OriginalFilename", texts.originalFileName);
    putString(writer, L"ProductName", texts.productName);
    putString(writer, L"ProductVersion", texts.version.text());
    writer.endBlock(table);
    writer.endBlock(stringInfo);

    const std::size_t varInfo = writer.beginBlock(L"VarFileInfo", 0, 1);
    const std::size_t translation = writer.beginBlock(L"Translation", sizeof(DWORD), 0);
    writer.put<WORD>(versionLanguage);
    writer.put<WORD>(versionCodePage);
    writer.endBlock(translation);
    writer.endBlock(varInfo);

    writer.endBlock(root);
    return writer.bytes;
}

}  // namespace imagetool
