// Brands a launcher copy: the user's icon in place of the launcher's, and a
// version resource, written by the image tool's own resource section writer.
#include "ImageBrand.h"

#include <windows.h>

#include <optional>
#include <vector>

#include "FileUtils.h"
#include "IconFile.h"
#include "IconResources.h"
#include "OwnedResource.h"
#include "PeImageError.h"
#include "PeResourceEditor.h"
#include "ToolError.h"
#include "TreeCopy.h"
#include "VersionResource.h"

namespace imagetool {

namespace {

const LONGLONG maxLauncherSize = 0x7FFFFFFF;

std::string readLauncher(const tstring& path, const tstring& shownPath) {
    const OwnedFileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file || !::GetFileSizeEx(file.get(), &size)) {
        FAIL_LAST_ERROR(L"Cannot read \"" + shownPath + L"\"");
    }
    if (size.QuadPart > maxLauncherSize) {
        fail(L"\"" + shownPath + L"\" is not a Windows program: it is larger than 2 GB");
    }
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD count = 0;
        if (!::ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &count, nullptr)) {
            FAIL_LAST_ERROR(L"Cannot read \"" + shownPath + L"\"");
        }
        if (count == 0) {
            fail(L"Cannot read \"" + shownPath + L"\": it became shorter while it was read");
        }
        done += count;
    }
    return bytes;
}

// One line for the user, naming the file the user gave.
[[noreturn]] void failBranding(const tstring& shownPath, const PeImageError& error) {
    const tstring reason = tstrings::fromUtf8(error.what());
    switch (error.problem()) {
        case PeProblem::notAProgram:
            fail(L"\"" + shownPath + L"\" is not a Windows program: " + reason);
        case PeProblem::signedImage:
            fail(L"\"" + shownPath +
                 L"\" is signed: brand the launcher before signing it, since branding changes "
                 L"the file and its signature would no longer match");
        case PeProblem::unsupportedLayout:
            break;
    }
    fail(L"Cannot brand \"" + shownPath + L"\": " + reason);
}

// The user's icon takes the place of the first icon group, under its name
// and language, so that the shell shows it.
void replaceIcon(ResourceTree& resources, const IconFile& icon) {
    std::vector<std::string> images;
    for (const IconImage& image : icon.images()) {
        images.push_back(image.data);
    }
    replaceFirstIconGroup(resources, images, [&icon](std::uint16_t firstId) { return icon.groupResource(firstId); });
}

VersionTexts versionTexts(const tstring& fileName, const BrandOptions& options) {
    VersionTexts texts;
    texts.version = *options.version;
    texts.originalFileName = fileName;
    texts.internalName = FileUtils::withoutExtension(texts.originalFileName);
    texts.productName = options.productName.empty() ? texts.internalName : options.productName;
    texts.description = options.description.empty() ? texts.productName : options.description;
    texts.company = options.company;
    texts.copyright = options.copyright;
    return texts;
}

void replaceVersion(ResourceTree& resources, const VersionTexts& texts) {
    resources.remove(resource_type::version);
    resources.put(resource_type::version, std::uint32_t{VS_VERSION_INFO}, versionLanguage,
                  {buildVersionResource(texts), 0});
}

}  // namespace

void checkIconFile(const tstring& iconPath) { IconFile::load(iconPath); }

void brandLauncher(const tstring& exePath, const tstring& shownPath, const tstring& fileName,
                   const BrandOptions& options) {
    std::optional<IconFile> icon;
    if (!options.icon.empty()) {
        icon = IconFile::load(options.icon);
    }
    std::string branded;
    try {
        const PeResourceEditor editor(readLauncher(exePath, shownPath));
        ResourceTree resources = editor.resources();
        if (icon) {
            replaceIcon(resources, *icon);
        }
        if (options.version) {
            replaceVersion(resources, versionTexts(fileName, options));
        }
        branded = editor.withResources(resources);
    } catch (const PeImageError& error) {
        failBranding(shownPath, error);
    }
    writeWholeFile(exePath, branded, FileCreation::existingFile, shownPath);
}

}  // namespace imagetool
