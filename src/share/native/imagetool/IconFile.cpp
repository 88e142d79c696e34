// An icon file (.ico) taken apart into the pieces that an executable's
// icon resources hold: one image per size and the group directory.
#include "IconFile.h"

#include "ByteAccess.h"
#include "ToolError.h"
#include "ToolFiles.h"

namespace imagetool {

namespace {

// The file starts with a header (reserved, type, count) and a directory of
// 16-byte entries: width, height, colour count, reserved, planes, bit
// count, size and offset of the image. A group resource has the same
// header and 14-byte entries, with the resource id in place of the offset.
const std::size_t headerSize = 6;
const std::size_t fileEntrySize = 16;
const std::uint16_t iconType = 1;
const std::size_t maxIconFileSize = 64 * 1024 * 1024;

void appendHeader(std::string& bytes, std::size_t count) {
    appendU16(bytes, 0);
    appendU16(bytes, iconType);
    appendU16(bytes, static_cast<std::uint16_t>(count));
}

}  // namespace

IconFile IconFile::load(const tstring& path) {
    const tstring shown = quoted(path);
    return parse(readWholeFile(path, L"the icon " + shown, maxIconFileSize,
                               shown + L" is not an icon file: it is larger than 64 MB"),
                 path);
}

IconFile IconFile::parse(const std::string& bytes, const tstring& path) {
    const auto notAnIcon = [&path](const wchar_t* reason) { fail(L"\"" + path + L"\" is not an icon file: " + reason); };
    if (bytes.size() < headerSize) {
        notAnIcon(L"it is too short");
    }
    const ByteReader file(bytes, "");
    const std::uint16_t count = file.u16(4);
    if (file.u16(0) != 0 || file.u16(2) != iconType) {
        notAnIcon(L"its header does not say icon");
    }
    if (count == 0) {
        notAnIcon(L"it holds no image");
    }
    if (bytes.size() < headerSize + std::size_t{count} * fileEntrySize) {
        notAnIcon(L"its directory is cut short");
    }
    IconFile icon;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = headerSize + i * fileEntrySize;
        const std::uint32_t size = file.u32(entry + 8);
        const std::uint32_t offset = file.u32(entry + 12);
        if (size == 0 || offset > bytes.size() || bytes.size() - offset < size) {
            notAnIcon(L"an image lies outside the file");
        }
        icon.icons.push_back({file.u8(entry), file.u8(entry + 1), file.u8(entry + 2), file.u16(entry + 4),
                              file.u16(entry + 6), bytes.substr(offset, size)});
    }
    return icon;
}

std::string IconFile::groupResource(std::uint16_t firstId) const {
    std::string group;
    appendHeader(group, icons.size());
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const IconImage& image = icons[i];
        group.push_back(static_cast<char>(image.width));
        group.push_back(static_cast<char>(image.height));
        group.push_back(static_cast<char>(image.colorCount));
        group.push_back('\0');
        appendU16(group, image.planes);
        appendU16(group, image.bitCount);
        appendU32(group, static_cast<std::uint32_t>(image.data.size()));
        appendU16(group, static_cast<std::uint16_t>(firstId + i));
    }
    return group;
}

}  // namespace imagetool
