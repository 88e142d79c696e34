// Finds what is legal in a launcher configuration file but almost always a
// mistake: things the launcher silently ignores.
#pragma once

#include <cstddef>
#include <vector>

#include "tstrings.h"

namespace imagetool {

struct CfgWarning {
    std::size_t line;
    tstring text;
};

// Reads the file line by line as the launcher does and reports, in line
// order: a byte-order mark, lines that are not UTF-8, properties before the
// first known section, section and property names that differ from a known
// one only by case or surrounding blanks, and macro names in the wrong case.
// A file that cannot be read gives no warnings (loading it reports why).
std::vector<CfgWarning> lintCfgFile(const tstring& path);

}  // namespace imagetool
