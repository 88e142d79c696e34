// Replacing an executable's icon in its resource tree: the first group and
// its images go, no image stays that no group names.
#include <gtest/gtest.h>

#include "IconResources.h"

using imagetool::iconIdsOfGroup;
using imagetool::replaceFirstIconGroup;
using imagetool::ResourceTree;

namespace {

namespace type = imagetool::resource_type;

std::string groupNaming(std::initializer_list<std::uint16_t> ids) {
    std::string group("\0\0\1\0", 4);
    group += static_cast<char>(ids.size());
    group += '\0';
    for (std::uint16_t id : ids) {
        group += std::string(12, '\x20');
        group += static_cast<char>(id & 0xFF);
        group += static_cast<char>(id >> 8);
    }
    return group;
}

std::string madeGroup(std::uint16_t firstId) { return "group from " + std::to_string(firstId); }

std::vector<std::uint32_t> iconIds(const ResourceTree& tree) {
    std::vector<std::uint32_t> ids;
    for (const auto& icon : tree.names(type::icon)) {
        ids.push_back(std::get<std::uint32_t>(icon.first));
    }
    return ids;
}

// Two groups (the named one first in directory order), the images they
// name, and two images that no group names.
ResourceTree twoGroups() {
    ResourceTree tree;
    tree.put(type::groupIcon, std::u16string(u"MAIN"), 0x0407, {groupNaming({1, 2}), 0});
    tree.put(type::groupIcon, std::u16string(u"MAIN"), 0x0409, {groupNaming({3}), 0});
    tree.put(type::groupIcon, std::uint32_t{5}, 0x0409, {groupNaming({4, 7}), 0});
    for (std::uint32_t id : {1, 2, 3, 4, 6, 7, 9}) {
        tree.put(type::icon, id, 0x0409, {"image " + std::to_string(id), 0});
    }
    tree.put(type::manifest, std::uint32_t{1}, 0x0409, {"manifest", 0});
    return tree;
}

}  // namespace

TEST(IconResourcesTest, ReadsTheIdsOfAGroup) {
    EXPECT_EQ(iconIdsOfGroup(groupNaming({1, 0x1234})), (std::vector<std::uint16_t>{1, 0x1234}));
    EXPECT_EQ(iconIdsOfGroup(groupNaming({1, 2}).substr(0, 6 + 14 + 13)), std::vector<std::uint16_t>{1});
    EXPECT_EQ(iconIdsOfGroup("\0\0"), std::vector<std::uint16_t>{});
}

TEST(IconResourcesTest, ReplacesTheFirstGroupUnderItsNameAndLanguage) {
    ResourceTree tree = twoGroups();

    replaceFirstIconGroup(tree, {"new 16", "new 32"}, madeGroup);

    EXPECT_EQ(tree.names(type::groupIcon).at(std::u16string(u"MAIN")).size(), 1u);
    ASSERT_TRUE(tree.find(type::groupIcon, std::u16string(u"MAIN"), 0x0407));
    EXPECT_EQ(tree.find(type::groupIcon, std::u16string(u"MAIN"), 0x0407)->bytes, "group from 8");
    EXPECT_EQ(tree.find(type::icon, std::uint32_t{8}, 0x0407)->bytes, "new 16");
    EXPECT_EQ(tree.find(type::icon, std::uint32_t{9}, 0x0407)->bytes, "new 32");
}

TEST(IconResourcesTest, LeavesNoImageThatNoGroupNames) {
    ResourceTree tree = twoGroups();

    replaceFirstIconGroup(tree, {"new"}, madeGroup);

    EXPECT_EQ(iconIds(tree), (std::vector<std::uint32_t>{4, 7, 8}));
    EXPECT_EQ(tree.find(type::groupIcon, std::uint32_t{5}, 0x0409)->bytes, groupNaming({4, 7}));
    EXPECT_EQ(tree.find(type::manifest, std::uint32_t{1}, 0x0409)->bytes, "manifest");
}

TEST(IconResourcesTest, AddsGroupOneWhenThereIsNone) {
    ResourceTree tree;
    tree.put(type::icon, std::uint32_t{3}, 0, {"orphan", 0});

    replaceFirstIconGroup(tree, {"a", "b"}, madeGroup);

    EXPECT_EQ(iconIds(tree), (std::vector<std::uint32_t>{1, 2}));
    ASSERT_TRUE(tree.find(type::groupIcon, std::uint32_t{1}, 0));
    EXPECT_EQ(tree.find(type::groupIcon, std::uint32_t{1}, 0)->bytes, "group from 1");
}
