// The version resource (VS_VERSIONINFO) of a branded launcher: the fixed
// file information and one string table in US English, Unicode.
#include "VersionResource.h"

#include <algorithm>
#include <vector>

#include "ByteAccess.h"
#include "PeHeaders.h"
#include "PeImageError.h"
#include "ResourceSectionReader.h"
#include "ToolFiles.h"

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

namespace {

// One block of a version resource as read: its key, where its value lies
// and where its children start and end.
struct VersionBlock {
    std::u16string key;
    std::uint16_t valueLength = 0;
    std::size_t valueStart = 0;
    std::size_t childrenStart = 0;
    std::size_t end = 0;
};

class BlockReader {
public:
    explicit BlockReader(std::string_view bytes) : reader(bytes, "the version resource runs past its end") {}

    VersionBlock read(std::size_t start, std::size_t limit) const {
        VersionBlock block;
        const std::size_t length = reader.u16(start);
        block.end = start + length;
        if (length < 6 || block.end > limit) {
            failNotAProgram("a block of the version resource runs past its parent");
        }
        block.valueLength = reader.u16(start + 2);
        const bool text = reader.u16(start + 4) == 1;
        std::size_t at = start + 6;
        block.key = textAt(at, block.end);
        at = alignUp(at + (block.key.size() + 1) * 2, 4);
        block.valueStart = at;
        const std::size_t valueBytes = text ? std::size_t{block.valueLength} * 2 : block.valueLength;
        block.childrenStart = std::min<std::size_t>(alignUp(at + valueBytes, 4), block.end);
        return block;
    }

    // The NUL-terminated UTF-16 text at `offset`, within `limit`.
    std::u16string textAt(std::size_t offset, std::size_t limit) const {
        std::u16string text;
        for (std::size_t at = offset; at + 2 <= limit; at += 2) {
            const char16_t unit = static_cast<char16_t>(reader.u16(at));
            if (unit == 0) {
                return text;
            }
            text.push_back(unit);
        }
        return text;
    }

    std::uint32_t u32(std::size_t offset) const { return reader.u32(offset); }

    // The children of `parent`, in order.
    std::vector<VersionBlock> children(const VersionBlock& parent) const {
        std::vector<VersionBlock> blocks;
        for (std::size_t at = parent.childrenStart; at + 6 <= parent.end;) {
            blocks.push_back(read(at, parent.end));
            at = alignUp(blocks.back().end, 4);
        }
        return blocks;
    }

private:
    ByteReader reader;
};

std::wstring fromUtf16(const std::u16string& units) {
    std::wstring text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char32_t unit = units[i];
        const bool pair = unit >= 0xD800 && unit < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
                          units[i + 1] < 0xE000;
        if (pair && sizeof(wchar_t) > 2) {
            text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[++i] - 0xDC00)));
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

void takeString(VersionTexts& texts, const std::u16string& key, const tstring& value) {
    const std::pair<const char16_t*, tstring VersionTexts::*> fields[] = {
        {u"ProductName", &VersionTexts::productName},       {u"CompanyName", &VersionTexts::company},
        {u"FileDescription", &VersionTexts::description},   {u"LegalCopyright", &VersionTexts::copyright},
        {u"OriginalFilename", &VersionTexts::originalFileName}, {u"InternalName", &VersionTexts::internalName}};
    for (const auto& [name, member] : fields) {
        if (key == name) {
            texts.*member = value;
        }
    }
}

void readFixedInfo(const BlockReader& reader, const VersionBlock& root, VersionTexts& texts) {
    const std::uint32_t signature = 0xFEEF04BD;
    if (root.valueLength < fixedInfoSize || reader.u32(root.valueStart) != signature) {
        return;
    }
    const std::uint32_t high = reader.u32(root.valueStart + 8);
    const std::uint32_t low = reader.u32(root.valueStart + 12);
    texts.version.parts = {static_cast<std::uint16_t>(high >> 16), static_cast<std::uint16_t>(high),
                           static_cast<std::uint16_t>(low >> 16), static_cast<std::uint16_t>(low)};
}

}  // namespace

VersionTexts readVersionResource(std::string_view resource) {
    const BlockReader reader(resource);
    const VersionBlock root = reader.read(0, resource.size());
    VersionTexts texts;
    readFixedInfo(reader, root, texts);
    for (const VersionBlock& info : reader.children(root)) {
        if (info.key != u"StringFileInfo") {
            continue;
        }
        for (const VersionBlock& table : reader.children(info)) {
            for (const VersionBlock& entry : reader.children(table)) {
                takeString(texts, entry.key, fromUtf16(reader.textAt(entry.valueStart, entry.end)));
            }
            return texts;
        }
    }
    return texts;
}

std::optional<VersionTexts> readProgramVersion(const tstring& path) {
    const FileView file(path);
    const std::string image(file.bytes());
    const PeHeaders headers = PeHeaders::read(image);
    const PeDataDirectory directory = headers.directory(pe_directory::resources);
    const PeSection* section = headers.sectionAt(directory.rva);
    if (directory.empty() || !section) {
        return std::nullopt;
    }
    const ByteReader reader(image, "the resource section runs past the end of the file");
    const std::uint32_t skipped = directory.rva - section->virtualAddress;
    const std::uint32_t length = std::min(section->sizeOfRawData, section->mappedSize());
    if (skipped >= length) {
        return std::nullopt;
    }
    const ResourceTree tree =
        readResourceSection(reader.slice(section->pointerToRawData + skipped, length - skipped), directory.rva);
    for (const auto& [name, languages] : tree.names(resource_type::version)) {
        for (const auto& [language, data] : languages) {
            return readVersionResource(data.bytes);
        }
    }
    return std::nullopt;
}

}  // namespace imagetool
