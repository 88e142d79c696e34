// The icon resources of an executable: groups (RT_GROUP_ICON), each a
// directory of images (RT_ICON) that it names by id.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ResourceTree.h"

namespace imagetool {

// The RT_ICON ids that a group resource names, in its order. Entries that
// the group's bytes cut short are not read.
std::vector<std::uint16_t> iconIdsOfGroup(const std::string& group);

// Gives the tree the icon whose images are `images`, in place of its first
// icon group (in directory order): that group in every language and the
// images it names go, and then every image that no remaining group names.
// The new images take the ids after the highest remaining one; `makeGroup`
// builds the group that names them from the first id. The group keeps the
// old one's name and first language (or is #1, language neutral, when the
// tree had none), and the images take that language.
void replaceFirstIconGroup(ResourceTree& tree, const std::vector<std::string>& images,
                           const std::function<std::string(std::uint16_t firstId)>& makeGroup);

}  // namespace imagetool
