// Reads the resource tree out of the bytes of a resource section.
#include "ResourceSectionReader.h"

#include <set>
#include <vector>

#include "ByteAccess.h"
#include "PeImageError.h"
#include "ResourceFormat.h"

namespace imagetool {

namespace {

using namespace resource_format;

struct DirectoryEntry {
    ResourceName name;
    bool leadsToTable;
    std::uint32_t target;
};

class SectionReader {
public:
    SectionReader(const std::string& section, std::uint32_t sectionRva)
        : bytes(section, "the resource directory runs past its section"), sectionRva(sectionRva) {}

    ResourceTree read() {
        ResourceTree tree;
        for (const DirectoryEntry& type : tableAt(0)) {
            for (const DirectoryEntry& name : tableAt(subtable(type))) {
                for (const DirectoryEntry& language : tableAt(subtable(name))) {
                    const std::uint16_t id = languageOf(language);
                    tree.put(type.name, name.name, id, dataAt(language));
                }
            }
        }
        return tree;
    }

private:
    std::vector<DirectoryEntry> tableAt(std::uint32_t offset) {
        claim(offset);
        const std::size_t count = std::size_t{bytes.u16(offset + namedCountOffset)} + bytes.u16(offset + idCountOffset);
        bytes.require(offset + tableHeaderSize, count * entrySize);
        std::vector<DirectoryEntry> entries;
        std::set<ResourceName> seen;
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = offset + tableHeaderSize + i * entrySize;
            const std::uint32_t target = bytes.u32(at + 4);
            DirectoryEntry entry = {nameOf(bytes.u32(at)), (target & targetIsTable) != 0, target & ~targetIsTable};
            if (!seen.insert(entry.name).second) {
                failNotAProgram("a resource directory lists the same name twice");
            }
            entries.push_back(std::move(entry));
        }
        return entries;
    }

    std::uint32_t subtable(const DirectoryEntry& entry) const {
        if (!entry.leadsToTable) {
            failNotAProgram("a resource directory ends before the language level");
        }
        return entry.target;
    }

    static std::uint16_t languageOf(const DirectoryEntry& entry) {
        const std::uint32_t* id = std::get_if<std::uint32_t>(&entry.name);
        if (!id || *id > 0xFFFF) {
            failNotAProgram("a resource language is not a language number");
        }
        return static_cast<std::uint16_t>(*id);
    }

    ResourceName nameOf(std::uint32_t field) const {
        if ((field & nameIsString) == 0) {
            return field;
        }
        const std::size_t offset = field & ~nameIsString;
        const std::size_t length = bytes.u16(offset);
        bytes.require(offset + 2, length * 2);
        std::u16string name;
        for (std::size_t i = 0; i < length; ++i) {
            name.push_back(static_cast<char16_t>(bytes.u16(offset + 2 + i * 2)));
        }
        return name;
    }

    ResourceData dataAt(const DirectoryEntry& entry) {
        if (entry.leadsToTable) {
            failNotAProgram("a resource directory nests deeper than type, name and language");
        }
        claim(entry.target);
        const std::uint32_t rva = bytes.u32(entry.target);
        const std::uint32_t size = bytes.u32(entry.target + dataSizeOffset);
        const std::uint32_t codePage = bytes.u32(entry.target + codePageOffset);
        if (rva < sectionRva || rva - sectionRva > bytes.size() || bytes.size() - (rva - sectionRva) < size) {
            failNotAProgram("a resource's data lies outside the resource section");
        }
        dataTotal += size;
        if (dataTotal > bytes.size()) {
            failNotAProgram("the resources' data overlap");
        }
        return {bytes.slice(rva - sectionRva, size), codePage};
    }

    // Every table and data entry belongs to one place in the tree, which
    // also keeps a crafted directory from multiplying itself.
    void claim(std::uint32_t offset) {
        if (!claimed.insert(offset).second) {
            failNotAProgram("the resource directory refers to one table twice");
        }
    }

    ByteReader bytes;
    std::uint32_t sectionRva;
    std::set<std::uint32_t> claimed;
    std::uint64_t dataTotal = 0;
};

}  // namespace

ResourceTree readResourceSection(const std::string& section, std::uint32_t sectionRva) {
    return SectionReader(section, sectionRva).read();
}

}  // namespace imagetool
