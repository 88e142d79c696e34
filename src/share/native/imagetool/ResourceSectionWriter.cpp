// Lays out a resource tree as the bytes of a resource section.
#include "ResourceSectionWriter.h"

#include <vector>

#include "ByteAccess.h"
#include "PeImageError.h"
#include "ResourceFormat.h"

namespace imagetool {

namespace {

using namespace resource_format;

std::size_t tableSize(std::size_t entries) {
    if (entries > 0xFFFF) {
        failUnsupportedLayout("a resource directory would hold more than 65535 entries");
    }
    return tableHeaderSize + entries * entrySize;
}

// Where everything goes, decided before a byte is written: the first pass
// walks the tree in the same order as the second.
struct Layout {
    std::vector<std::size_t> typeTables;
    std::vector<std::size_t> nameTables;
    std::map<std::u16string, std::size_t> strings;
    std::size_t dataEntries = 0;
    std::vector<std::size_t> data;
    std::size_t size = 0;
};

void placeString(Layout& layout, const ResourceName& name) {
    const std::u16string* text = std::get_if<std::u16string>(&name);
    if (!text || layout.strings.count(*text)) {
        return;
    }
    if (text->size() > 0xFFFF) {
        failUnsupportedLayout("a resource name is longer than 65535 characters");
    }
    layout.strings[*text] = layout.size;
    layout.size += 2 + text->size() * 2;
}

Layout layOut(const ResourceTree& tree) {
    Layout layout;
    layout.size = tableSize(tree.types().size());
    for (const auto& type : tree.types()) {
        layout.typeTables.push_back(layout.size);
        layout.size += tableSize(type.second.size());
    }
    for (const auto& type : tree.types()) {
        for (const auto& name : type.second) {
            layout.nameTables.push_back(layout.size);
            layout.size += tableSize(name.second.size());
        }
    }
    for (const auto& type : tree.types()) {
        placeString(layout, type.first);
        for (const auto& name : type.second) {
            placeString(layout, name.first);
        }
    }
    layout.size = static_cast<std::size_t>(alignUp(layout.size, dataAlignment));
    layout.dataEntries = layout.size;
    layout.size += tree.count() * dataEntrySize;
    for (const auto& type : tree.types()) {
        for (const auto& name : type.second) {
            for (const auto& language : name.second) {
                layout.size = static_cast<std::size_t>(alignUp(layout.size, dataAlignment));
                layout.data.push_back(layout.size);
                layout.size += language.second.bytes.size();
                if (layout.size >= maxSectionSize) {
                    failUnsupportedLayout("the resources would not fit in a resource section");
                }
            }
        }
    }
    return layout;
}

class SectionWriter {
public:
    SectionWriter(const ResourceTree& tree, std::uint32_t sectionRva)
        : tree(tree), layout(layOut(tree)), sectionRva(sectionRva) {
        if (sectionRva + std::uint64_t{layout.size} > 0xFFFFFFFFu) {
            failUnsupportedLayout("the resources would lie beyond the image's 4 GB");
        }
        bytes.assign(layout.size, '\0');
    }

    std::string write() {
        std::vector<std::size_t> typeTargets;
        for (std::size_t offset : layout.typeTables) {
            typeTargets.push_back(offset | targetIsTable);
        }
        writeTable(0, tree.types(), typeTargets);
        std::size_t nameIndex = 0;
        std::size_t leafIndex = 0;
        std::size_t typeIndex = 0;
        for (const auto& type : tree.types()) {
            std::vector<std::size_t> nameTargets;
            for (std::size_t i = 0; i < type.second.size(); ++i) {
                nameTargets.push_back(layout.nameTables[nameIndex + i] | targetIsTable);
            }
            writeTable(layout.typeTables[typeIndex++], type.second, nameTargets);
            for (const auto& name : type.second) {
                std::vector<std::size_t> leafTargets;
                for (const auto& language : name.second) {
                    leafTargets.push_back(writeData(leafIndex++, language.second));
                }
                writeTable(layout.nameTables[nameIndex++], name.second, leafTargets);
            }
        }
        for (const auto& string : layout.strings) {
            putU16(bytes, string.second, static_cast<std::uint16_t>(string.first.size()));
            for (std::size_t i = 0; i < string.first.size(); ++i) {
                putU16(bytes, string.second + 2 + i * 2, string.first[i]);
            }
        }
        return bytes;
    }

private:
    std::uint32_t nameField(const ResourceName& name) const {
        if (const std::u16string* text = std::get_if<std::u16string>(&name)) {
            return static_cast<std::uint32_t>(layout.strings.at(*text)) | nameIsString;
        }
        return std::get<std::uint32_t>(name);
    }

    static std::uint32_t nameField(std::uint16_t language) { return language; }

    // The table of one level; its entries are already in directory order.
    template <class Level>
    void writeTable(std::size_t offset, const Level& level, const std::vector<std::size_t>& targets) {
        std::uint16_t named = 0;
        for (const auto& entry : level) {
            named += isNamed(entry.first) ? 1 : 0;
        }
        putU16(bytes, offset + namedCountOffset, named);
        putU16(bytes, offset + idCountOffset, static_cast<std::uint16_t>(level.size() - named));
        std::size_t at = offset + tableHeaderSize;
        std::size_t index = 0;
        for (const auto& entry : level) {
            putU32(bytes, at, nameField(entry.first));
            putU32(bytes, at + 4, static_cast<std::uint32_t>(targets[index++]));
            at += entrySize;
        }
    }

    static bool isNamed(const ResourceName& name) { return std::holds_alternative<std::u16string>(name); }
    static bool isNamed(std::uint16_t) { return false; }

    // Writes the data entry and the data of the leaf; returns the entry's
    // offset.
    std::size_t writeData(std::size_t leaf, const ResourceData& data) {
        const std::size_t entry = layout.dataEntries + leaf * dataEntrySize;
        putU32(bytes, entry, static_cast<std::uint32_t>(sectionRva + layout.data[leaf]));
        putU32(bytes, entry + dataSizeOffset, static_cast<std::uint32_t>(data.bytes.size()));
        putU32(bytes, entry + codePageOffset, data.codePage);
        bytes.replace(layout.data[leaf], data.bytes.size(), data.bytes);
        return entry;
    }

    const ResourceTree& tree;
    Layout layout;
    std::uint32_t sectionRva;
    std::string bytes;
};

}  // namespace

std::string writeResourceSection(const ResourceTree& tree, std::uint32_t sectionRva) {
    return SectionWriter(tree, sectionRva).write();
}

}  // namespace imagetool
