// Brands a launcher copy: the user's icon in place of the launcher's, and a
// version resource, written by the image tool's own resource section writer.
#include "ImageBrand.h"

#include <optional>
#include <vector>

#include "FileUtils.h"
#include "IconFile.h"
#include "IconResources.h"
#include "PeFile.h"
#include "PeImageError.h"
#include "PeResourceEditor.h"
#include "ToolError.h"
#include "TreeCopy.h"
#include "VersionResource.h"

namespace imagetool {

namespace {

const std::uint32_t versionInfoId = 1;

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
    resources.put(resource_type::version, versionInfoId, versionLanguage,
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
        const PeResourceEditor editor(readProgramFile(exePath, shownPath));
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
