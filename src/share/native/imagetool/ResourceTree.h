// The resources of an executable as the loader looks them up: type, then
// name, then language, each leading to the resource's bytes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>

namespace imagetool {

// A resource type or name: a UTF-16 name or a number. The variant's own
// ordering is the order of a resource directory: names first, by their code
// units, then numbers ascending.
typedef std::variant<std::u16string, std::uint32_t> ResourceName;

namespace resource_type {
const ResourceName icon = std::uint32_t{3};
const ResourceName groupIcon = std::uint32_t{14};
const ResourceName version = std::uint32_t{16};
const ResourceName manifest = std::uint32_t{24};
}  // namespace resource_type

struct ResourceData {
    std::string bytes;
    std::uint32_t codePage = 0;

    bool operator==(const ResourceData& other) const { return bytes == other.bytes && codePage == other.codePage; }
};

typedef std::map<std::uint16_t, ResourceData> ResourceLanguages;
typedef std::map<ResourceName, ResourceLanguages> ResourceNames;
typedef std::map<ResourceName, ResourceNames> ResourceTypes;

// Holds no empty level: removing the last language of a name removes the
// name, and the last name of a type the type.
class ResourceTree {
public:
    const ResourceTypes& types() const { return entries; }

    // The names of a type, empty when it has none.
    const ResourceNames& names(const ResourceName& type) const;

    // The resource, or null when there is none.
    const ResourceData* find(const ResourceName& type, const ResourceName& name, std::uint16_t language) const;

    // Adds the resource or replaces the one of that type, name and language.
    void put(const ResourceName& type, const ResourceName& name, std::uint16_t language, ResourceData data);

    void remove(const ResourceName& type, const ResourceName& name, std::uint16_t language);
    // Removes the name in every language.
    void remove(const ResourceName& type, const ResourceName& name);
    void remove(const ResourceName& type);

    std::size_t count() const;

    bool operator==(const ResourceTree& other) const { return entries == other.entries; }
    bool operator!=(const ResourceTree& other) const { return !(*this == other); }

private:
    ResourceTypes entries;
};

}  // namespace imagetool
