// The icon resources of an executable: groups and the images they name.
#include "IconResources.h"

#include <algorithm>
#include <set>

#include "ByteAccess.h"
#include "PeImageError.h"

namespace imagetool {

namespace {

const std::size_t groupHeaderSize = 6;
const std::size_t groupEntrySize = 14;
const std::size_t groupEntryIdOffset = 12;

void removeIcons(ResourceTree& tree, const std::set<std::uint16_t>& ids) {
    for (std::uint16_t id : ids) {
        tree.remove(resource_type::icon, std::uint32_t{id});
    }
}

// The ids that the group of this name names, in any of its languages.
std::set<std::uint16_t> iconsOf(const ResourceLanguages& group) {
    std::set<std::uint16_t> ids;
    for (const auto& language : group) {
        for (std::uint16_t id : iconIdsOfGroup(language.second.bytes)) {
            ids.insert(id);
        }
    }
    return ids;
}

void removeUnnamedIcons(ResourceTree& tree) {
    std::set<std::uint16_t> named;
    for (const auto& group : tree.names(resource_type::groupIcon)) {
        const std::set<std::uint16_t> ids = iconsOf(group.second);
        named.insert(ids.begin(), ids.end());
    }
    std::vector<ResourceName> unnamed;
    for (const auto& icon : tree.names(resource_type::icon)) {
        const std::uint32_t* id = std::get_if<std::uint32_t>(&icon.first);
        if (!id || !named.count(static_cast<std::uint16_t>(*id)) || *id > 0xFFFF) {
            unnamed.push_back(icon.first);
        }
    }
    for (const ResourceName& name : unnamed) {
        tree.remove(resource_type::icon, name);
    }
}

std::uint32_t firstFreeIconId(const ResourceTree& tree) {
    std::uint32_t first = 1;
    for (const auto& icon : tree.names(resource_type::icon)) {
        if (const std::uint32_t* id = std::get_if<std::uint32_t>(&icon.first)) {
            first = std::max(first, *id + 1);
        }
    }
    return first;
}

}  // namespace

std::vector<std::uint16_t> iconIdsOfGroup(const std::string& group) {
    const ByteReader bytes(group, "");
    std::vector<std::uint16_t> ids;
    if (group.size() < groupHeaderSize) {
        return ids;
    }
    const std::size_t count = bytes.u16(4);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = groupHeaderSize + i * groupEntrySize;
        if (entry + groupEntrySize > group.size()) {
            break;
        }
        ids.push_back(bytes.u16(entry + groupEntryIdOffset));
    }
    return ids;
}

void replaceFirstIconGroup(ResourceTree& tree, const std::vector<std::string>& images,
                           const std::function<std::string(std::uint16_t firstId)>& makeGroup) {
    ResourceName groupName = std::uint32_t{1};
    std::uint16_t language = 0;
    const ResourceNames& groups = tree.names(resource_type::groupIcon);
    if (!groups.empty()) {
        groupName = groups.begin()->first;
        language = groups.begin()->second.begin()->first;
        removeIcons(tree, iconsOf(groups.begin()->second));
        tree.remove(resource_type::groupIcon, groupName);
    }
    removeUnnamedIcons(tree);
    const std::uint32_t firstId = firstFreeIconId(tree);
    if (firstId + images.size() > 0x10000) {
        failUnsupportedLayout("the program has no icon ids left for the new images");
    }
    for (std::size_t i = 0; i < images.size(); ++i) {
        tree.put(resource_type::icon, static_cast<std::uint32_t>(firstId + i), language, {images[i], 0});
    }
    tree.put(resource_type::groupIcon, groupName, language, {makeGroup(static_cast<std::uint16_t>(firstId)), 0});
}

}  // namespace imagetool
