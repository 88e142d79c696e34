// The version resource (VS_VERSIONINFO) of a branded launcher: the fixed
// file information and one string table in US English, Unicode.
#include "VersionResource.h"

#include "ByteAccess.h"

namespace imagetool {

namespace {

// Writes the nested blocks of a version resource. Every block is a header
// (length, value length, type), a key, padding to 4 bytes, a value, padding
// and its children; its length is known only when it ends.
class BlockWriter {
public:
    // Starts a block and returns where it starts, for endBlock.
    std::size_t beginBlock(const tstring& key, std::uint16_t valueLength, std::uint16_t type) {
        align();
        const std::size_t start = bytes.size();
        appendU16(bytes, 0);
        appendU16(bytes, valueLength);
        appendU16(bytes, type);
        putText(key);
        align();
        return start;
    }

    void endBlock(std::size_t start) {
        putU16(bytes, start, static_cast<std::uint16_t>(bytes.size() - start));
    }

    void putText(const tstring& text) { appendUtf16(bytes, toUtf16(text) + u'\0'); }

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
    const std::size_t start = writer.beginBlock(key, static_cast<std::uint16_t>(toUtf16(value).size() + 1), 1);
    writer.putText(value);
    writer.endBlock(start);
}

// VS_FIXEDFILEINFO: signature, structure version, file and product
// version, flags mask and flags, operating system, type, subtype and date.
void putFixedInfo(std::string& bytes, const FileVersion& version) {
    const std::uint32_t signature = 0xFEEF04BD;
    const std::uint32_t structureVersion = 0x00010000;
    const std::uint32_t flagsMask = 0x3F;
    const std::uint32_t windowsNt32 = 0x00040004;
    const std::uint32_t application = 1;
    for (const std::uint32_t field : {signature, structureVersion, version.high(), version.low(), version.high(),
                                      version.low(), flagsMask, std::uint32_t{0}, windowsNt32, application,
                                      std::uint32_t{0}, std::uint32_t{0}, std::uint32_t{0}}) {
        appendU32(bytes, field);
    }
}

const std::uint16_t fixedInfoSize = 13 * 4;

}  // namespace

std::string buildVersionResource(const VersionTexts& texts) {
    BlockWriter writer;
    const std::size_t root = writer.beginBlock(L"VS_VERSION_INFO", fixedInfoSize, 0);
    putFixedInfo(writer.bytes, texts.version);

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
    const std::size_t translation = writer.beginBlock(L"Translation", 4, 0);
    appendU16(writer.bytes, versionLanguage);
    appendU16(writer.bytes, versionCodePage);
    writer.endBlock(translation);
    writer.endBlock(varInfo);

    writer.endBlock(root);
    return writer.bytes;
}

}  // namespace imagetool
