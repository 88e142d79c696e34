// The rules that user-given names and versions must follow: Windows file
// names and four-part version numbers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "tstrings.h"

namespace imagetool {

// Why `name` cannot be a Windows file name (without its extension), or
// nothing when it can: reserved device names such as CON or COM1 (also with
// an extension), trailing dots or blanks, characters Windows forbids, too
// long.
std::optional<tstring> fileNameProblem(const tstring& name);

// A version "a.b.c.d", each part 0 to 65535.
struct FileVersion {
    std::array<std::uint16_t, 4> parts{};

    tstring text() const;
    std::uint32_t high() const { return (std::uint32_t{parts[0]} << 16) | parts[1]; }
    std::uint32_t low() const { return (std::uint32_t{parts[2]} << 16) | parts[3]; }

    // Nothing when `text` is not four decimal numbers each at most 65535,
    // separated by dots.
    static std::optional<FileVersion> parse(const tstring& text);
};

}  // namespace imagetool
