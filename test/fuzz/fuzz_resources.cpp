// The image tool's resource reader and writer on arbitrary bytes. The first
// byte picks what the rest is: a resource section, or a whole program. What
// reads as resources is written again and must read back as the same tree,
// and writing the same tree twice gives the same bytes.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "PeImageError.h"
#include "PeResourceEditor.h"
#include "ResourceSectionReader.h"
#include "ResourceSectionWriter.h"

namespace {

const std::uint32_t kSectionRva = 0x3000;

void checkSection(const std::string& bytes) {
    imagetool::ResourceTree tree;
    try {
        tree = imagetool::readResourceSection(bytes, kSectionRva);
    } catch (const imagetool::PeImageError&) {
        return;
    }
    const std::string written = imagetool::writeResourceSection(tree, kSectionRva);
    fuzz::check(imagetool::readResourceSection(written, kSectionRva) == tree, "a written section reads back changed");
    fuzz::check(imagetool::writeResourceSection(tree, kSectionRva) == written, "writing a tree twice differs");
}

void checkProgram(const std::string& bytes) {
    try {
        const imagetool::PeResourceEditor editor(bytes);
        const std::string rewritten = editor.withResources(editor.resources());
        const imagetool::PeResourceEditor reread(rewritten);
        fuzz::check(reread.resources() == editor.resources(), "a rewritten program's resources changed");
        fuzz::check(reread.withResources(reread.resources()) == rewritten, "rewriting a program twice differs");
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
    if (data[0] % 2 == 0) {
        checkSection(rest);
    } else {
        checkProgram(rest);
    }
    return 0;
}
