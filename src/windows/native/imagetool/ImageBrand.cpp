// Brands a launcher copy: the user's icon in place of the launcher's, and a
// version resource, written with the system's resource update functions.
#include "ImageBrand.h"

#include <windows.h>

#include <optional>
#include <variant>
#include <vector>

#include "FileUtils.h"
#include "IconFile.h"
#include "OwnedResource.h"
#include "ToolError.h"
#include "VersionResource.h"

namespace imagetool {

namespace {

// A resource name: a number or a string.
typedef std::variant<WORD, tstring> ResourceName;

struct ExistingResource {
    const wchar_t* type;
    ResourceName name;
    WORD language;
};

const wchar_t* nameArgument(const ResourceName& name) {
    if (const WORD* id = std::get_if<WORD>(&name)) {
        return MAKEINTRESOURCEW(*id);
    }
    return std::get<tstring>(name).c_str();
}

ResourceName toName(const wchar_t* name) {
    return IS_INTRESOURCE(name) ? ResourceName(static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name)))
                                : ResourceName(tstring(name));
}

struct Enumeration {
    const wchar_t* type;
    std::vector<ExistingResource>* found;
};

BOOL CALLBACK onLanguage(HMODULE, LPCWSTR, LPCWSTR name, WORD language, LONG_PTR param) {
    const Enumeration& e = *reinterpret_cast<const Enumeration*>(param);
    e.found->push_back({e.type, toName(name), language});
    return TRUE;
}

BOOL CALLBACK onName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    ::EnumResourceLanguagesW(module, type, name, onLanguage, param);
    return TRUE;
}

// The resources of these types that the executable holds now. The file is
// mapped only while they are listed, so that it can be updated afterwards.
std::vector<ExistingResource> listResources(const tstring& exePath, std::initializer_list<const wchar_t*> types) {
    const OwnedModule module(::LoadLibraryExW(exePath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        FAIL_LAST_ERROR(L"Cannot read the resources of \"" + exePath + L"\"");
    }
    std::vector<ExistingResource> found;
    for (const wchar_t* type : types) {
        Enumeration enumeration = {type, &found};
        ::EnumResourceNamesW(module.get(), type, onName, reinterpret_cast<LONG_PTR>(&enumeration));
    }
    return found;
}

// One resource update of a file: committed by commit(), discarded when the
// scope ends without it.
class ResourceUpdate {
public:
    explicit ResourceUpdate(const tstring& path) : path(path), handle(::BeginUpdateResourceW(path.c_str(), FALSE)) {
        if (!handle) {
            FAIL_LAST_ERROR(L"Cannot update the resources of \"" + path + L"\"");
        }
    }

    ~ResourceUpdate() {
        if (handle) {
            ::EndUpdateResourceW(handle, TRUE);
        }
    }

    ResourceUpdate(const ResourceUpdate&) = delete;
    ResourceUpdate& operator=(const ResourceUpdate&) = delete;

    void put(const wchar_t* type, const ResourceName& name, WORD language, const std::string& data) {
        void* bytes = data.empty() ? nullptr : const_cast<char*>(data.data());
        if (!::UpdateResourceW(handle, type, nameArgument(name), language, bytes, static_cast<DWORD>(data.size()))) {
            FAIL_LAST_ERROR(L"Cannot update the resources of \"" + path + L"\"");
        }
    }

    void remove(const ExistingResource& resource) { put(resource.type, resource.name, resource.language, {}); }

    void commit() {
        const HANDLE update = handle;
        handle = nullptr;
        if (!::EndUpdateResourceW(update, FALSE)) {
            FAIL_LAST_ERROR(L"Cannot write the resources of \"" + path + L"\"");
        }
    }

private:
    tstring path;
    HANDLE handle;
};

const WORD neutralLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);

// The user's icon takes the place of the first icon group, under its name
// and language, so that the shell shows it; every old image goes.
void replaceIcon(ResourceUpdate& update, const std::vector<ExistingResource>& existing, const IconFile& icon) {
    std::optional<ExistingResource> firstGroup;
    for (const ExistingResource& resource : existing) {
        if (resource.type == RT_GROUP_ICON && !firstGroup) {
            firstGroup = resource;
        }
        if (resource.type == RT_GROUP_ICON || resource.type == RT_ICON) {
            update.remove(resource);
        }
    }
    const ResourceName groupName = firstGroup ? firstGroup->name : ResourceName(WORD{1});
    const WORD language = firstGroup ? firstGroup->language : neutralLanguage;
    const WORD firstId = 1;
    for (std::size_t i = 0; i < icon.images().size(); ++i) {
        update.put(RT_ICON, static_cast<WORD>(firstId + i), language, icon.images()[i].data);
    }
    update.put(RT_GROUP_ICON, groupName, language, icon.groupResource(firstId));
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

void replaceVersion(ResourceUpdate& update, const std::vector<ExistingResource>& existing, const VersionTexts& texts) {
    for (const ExistingResource& resource : existing) {
        if (resource.type == RT_VERSION) {
            update.remove(resource);
        }
    }
    update.put(RT_VERSION, WORD{VS_VERSION_INFO}, versionLanguage, buildVersionResource(texts));
}

}  // namespace

void checkIconFile(const tstring& iconPath) { IconFile::load(iconPath); }

void brandLauncher(const tstring& exePath, const tstring& fileName, const BrandOptions& options) {
    std::optional<IconFile> icon;
    if (!options.icon.empty()) {
        icon = IconFile::load(options.icon);
    }
    const std::vector<ExistingResource> existing = listResources(exePath, {RT_GROUP_ICON, RT_ICON, RT_VERSION});
    ResourceUpdate update(exePath);
    if (icon) {
        replaceIcon(update, existing, *icon);
    }
    if (options.version) {
        replaceVersion(update, existing, versionTexts(fileName, options));
    }
    update.commit();
}

}  // namespace imagetool
