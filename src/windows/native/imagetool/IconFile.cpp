// An icon file (.ico) taken apart into the pieces that an executable's
// icon resources hold: one image per size and the group directory.
#include "IconFile.h"

#include <cstring>

#include "OwnedResource.h"
#include "ToolError.h"

namespace imagetool {

namespace {

// The file's header and its directory entries, as laid out on disk.
#pragma pack(push, 1)
struct IconDir {
    WORD reserved;
    WORD type;
    WORD count;
};

// What a directory entry says of one image, in the file and in a group
// resource alike.
struct IconImageInfo {
    BYTE width;
    BYTE height;
    BYTE colorCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInRes;
};

struct IconDirEntry {
    IconImageInfo info;
    DWORD imageOffset;
};

// The same entry in a group resource, where an id replaces the offset.
struct GroupIconDirEntry {
    IconImageInfo info;
    WORD id;
};
#pragma pack(pop)

static_assert(sizeof(IconDir) == 6 && sizeof(IconDirEntry) == 16 && sizeof(GroupIconDirEntry) == 14,
              "icon structures are packed as on disk");

const std::size_t maxIconFileSize = 64 * 1024 * 1024;

std::string readWholeFile(const tstring& path) {
    const OwnedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        FAIL_LAST_ERROR(L"Cannot open the icon \"" + path + L"\"");
    }
    std::string bytes;
    char buffer[64 * 1024];
    DWORD count = 0;
    BOOL ok = TRUE;
    while ((ok = ::ReadFile(file.get(), buffer, sizeof(buffer), &count, nullptr)) && count > 0 &&
           bytes.size() <= maxIconFileSize) {
        bytes.append(buffer, count);
    }
    if (!ok) {
        FAIL_LAST_ERROR(L"Cannot read the icon \"" + path + L"\"");
    }
    return bytes;
}

template <class T>
T readAt(const std::string& bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

}  // namespace

IconFile IconFile::load(const tstring& path) {
    const std::string bytes = readWholeFile(path);
    const auto notAnIcon = [&path](const wchar_t* reason) { fail(L"\"" + path + L"\" is not an icon file: " + reason); };
    if (bytes.size() > maxIconFileSize) {
        notAnIcon(L"it is larger than 64 MB");
    }
    if (bytes.size() < sizeof(IconDir)) {
        notAnIcon(L"it is too short");
    }
    const IconDir dir = readAt<IconDir>(bytes, 0);
    if (dir.reserved != 0 || dir.type != 1) {
        notAnIcon(L"its header does not say icon");
    }
    if (dir.count == 0) {
        notAnIcon(L"it holds no image");
    }
    if (bytes.size() < sizeof(IconDir) + std::size_t{dir.count} * sizeof(IconDirEntry)) {
        notAnIcon(L"its directory is cut short");
    }
    IconFile icon;
    for (WORD i = 0; i < dir.count; ++i) {
        const IconDirEntry entry = readAt<IconDirEntry>(bytes, sizeof(IconDir) + i * sizeof(IconDirEntry));
        const IconImageInfo& info = entry.info;
        if (info.bytesInRes == 0 || entry.imageOffset > bytes.size() ||
            bytes.size() - entry.imageOffset < info.bytesInRes) {
            notAnIcon(L"an image lies outside the file");
        }
        icon.icons.push_back({info.width, info.height, info.colorCount, info.planes, info.bitCount,
                              bytes.substr(entry.imageOffset, info.bytesInRes)});
    }
    return icon;
}

std::string IconFile::groupResource(WORD firstId) const {
    const IconDir dir = {0, 1, static_cast<WORD>(icons.size())};
    std::string group(reinterpret_cast<const char*>(&dir), sizeof(dir));
    for (std::size_t i = 0; i < icons.size(); ++i) {
        const IconImage& image = icons[i];
        const IconImageInfo info = {image.width,  image.height,   image.colorCount,
                                    0,            image.planes,   image.bitCount,
                                    static_cast<DWORD>(image.data.size())};
        const GroupIconDirEntry entry = {info, static_cast<WORD>(firstId + i)};
        group.append(reinterpret_cast<const char*>(&entry), sizeof(entry));
    }
    return group;
}

}  // namespace imagetool
