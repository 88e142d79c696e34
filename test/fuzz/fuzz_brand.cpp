// What brand reads and writes, on arbitrary bytes. The first byte picks
// what the rest is: a program or library as check reads it, its signature
// too, an icon file, or a program that gets branded in memory as brand
// brands it, whose rewritten resources must read back as exactly what
// brand put there.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "IconFile.h"
#include "IconResources.h"
#include "PeFile.h"
#include "PeImageError.h"
#include "PeResourceEditor.h"
#include "PeSignature.h"
#include "ToolError.h"
#include "VersionResource.h"

namespace {

const std::uint32_t kVersionInfoId = 1;

void checkSignature(const std::string& bytes) {
    const imagetool::SignatureState signature = imagetool::signatureStateOf(bytes);
    fuzz::check((signature.kind == imagetool::SignatureKind::unreadable) == !signature.reason.empty(),
                "a signature is unreadable without a reason, or has a reason and is not");
}

// A version resource as package reads it from a launcher: garbled blocks
// fail as a garbled program, nothing else.
void checkVersionReader(const std::string& bytes) {
    try {
        imagetool::readVersionResource(bytes);
    } catch (const imagetool::PeImageError&) {
    }
}

void checkLibrary(const std::string& bytes) {
    checkSignature(bytes);
    checkVersionReader(bytes);
    try {
        const imagetool::PeFile pe = imagetool::PeFile::parse(bytes, L"fuzz.dll");
        for (const std::string& name : pe.exports) {
            fuzz::check(pe.exportsFunction(name), "a listed export is not found");
        }
    } catch (const imagetool::ToolError&) {
        // Not a Windows library: reported as such.
    }
}

void checkIcon(const std::string& bytes) {
    imagetool::IconFile icon;
    try {
        icon = imagetool::IconFile::parse(bytes, L"fuzz.ico");
    } catch (const imagetool::ToolError&) {
        return;
    }
    const std::vector<std::uint16_t> ids = imagetool::iconIdsOfGroup(icon.groupResource(7));
    fuzz::check(ids.size() == icon.images().size(), "the group does not name every image");
    for (std::size_t i = 0; i < ids.size(); ++i) {
        fuzz::check(ids[i] == 7 + i, "the group names an image by a wrong id");
        fuzz::check(!icon.images()[i].data.empty(), "an icon image is empty");
    }
}

// Texts made of the input's first bytes, so that the fuzzer varies them too.
imagetool::VersionTexts versionTexts(const std::string& bytes) {
    imagetool::VersionTexts texts;
    texts.version = *imagetool::FileVersion::parse(L"1.2.3.4");
    texts.productName = tstrings::fromUtf8(bytes.substr(0, 16));
    texts.originalFileName = L"Fuzz.exe";
    texts.internalName = L"Fuzz";
    return texts;
}

void checkBranding(const std::string& bytes) {
    try {
        const imagetool::PeResourceEditor editor(bytes);
        imagetool::ResourceTree resources = editor.resources();
        const std::vector<std::string> images = {std::string(40, '\1'), std::string(3, '\2')};
        const std::string group = "group";
        imagetool::replaceFirstIconGroup(resources, images, [&group](std::uint16_t) { return group; });
        const std::string version = imagetool::buildVersionResource(versionTexts(bytes));
        resources.remove(imagetool::resource_type::version);
        resources.put(imagetool::resource_type::version, kVersionInfoId, imagetool::versionLanguage, {version, 0});

        const imagetool::PeResourceEditor branded(editor.withResources(resources));
        fuzz::check(branded.resources() == resources, "a branded program's resources read back changed");
        const imagetool::ResourceData* written =
            branded.resources().find(imagetool::resource_type::version, kVersionInfoId, imagetool::versionLanguage);
        fuzz::check(written && written->bytes == version, "the version resource reads back changed");
        const imagetool::VersionTexts texts = versionTexts(bytes);
        const imagetool::VersionTexts read = imagetool::readVersionResource(version);
        // The resource ends each text at its first NUL.
        const tstring productName = texts.productName.substr(0, texts.productName.find(L'\0'));
        fuzz::check(read.productName == productName && read.originalFileName == texts.originalFileName &&
                        read.version.parts == texts.version.parts,
                    "the version resource's texts read back changed");
    } catch (const imagetool::PeImageError&) {
        // Garbled programs and layouts that the editor refuses end here.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
        case 0:
            checkLibrary(rest);
            break;
        case 1:
            checkIcon(rest);
            break;
        default:
            checkBranding(rest);
            break;
    }
    return 0;
}
