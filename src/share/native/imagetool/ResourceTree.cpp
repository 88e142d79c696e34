// The resources of an executable as the loader looks them up.
#include "ResourceTree.h"

#include <utility>

namespace imagetool {

const ResourceNames& ResourceTree::names(const ResourceName& type) const {
    static const ResourceNames none;
    const auto found = entries.find(type);
    return found == entries.end() ? none : found->second;
}

const ResourceData* ResourceTree::find(const ResourceName& type, const ResourceName& name,
                                       std::uint16_t language) const {
    const ResourceNames& typeNames = names(type);
    const auto languages = typeNames.find(name);
    if (languages == typeNames.end()) {
        return nullptr;
    }
    const auto data = languages->second.find(language);
    return data == languages->second.end() ? nullptr : &data->second;
}

void ResourceTree::put(const ResourceName& type, const ResourceName& name, std::uint16_t language, ResourceData data) {
    entries[type][name][language] = std::move(data);
}

void ResourceTree::remove(const ResourceName& type, const ResourceName& name, std::uint16_t language) {
    const auto typeNames = entries.find(type);
    if (typeNames == entries.end()) {
        return;
    }
    const auto languages = typeNames->second.find(name);
    if (languages == typeNames->second.end()) {
        return;
    }
    languages->second.erase(language);
    if (languages->second.empty()) {
        remove(type, name);
    }
}

void ResourceTree::remove(const ResourceName& type, const ResourceName& name) {
    const auto typeNames = entries.find(type);
    if (typeNames == entries.end()) {
        return;
    }
    typeNames->second.erase(name);
    if (typeNames->second.empty()) {
        entries.erase(typeNames);
    }
}

void ResourceTree::remove(const ResourceName& type) { entries.erase(type); }

std::size_t ResourceTree::count() const {
    std::size_t total = 0;
    for (const auto& type : entries) {
        for (const auto& name : type.second) {
            total += name.second.size();
        }
    }
    return total;
}

}  // namespace imagetool
