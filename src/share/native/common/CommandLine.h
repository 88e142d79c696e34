// Process command lines as the system's own splitter (CommandLineToArgvW)
// reads them, and the quoting that it splits back unchanged.
#pragma once

#include "tstrings.h"

namespace CommandLine {

// The program name followed by the arguments. The program name knows no
// escapes; the arguments follow the splitter's backslash and quotation mark
// rules. An empty line gives no element at all.
tstring_array split(const tstring& commandLine);

// The program path as the first element of a command line: quoted when it
// holds a blank or a tab, never escaped.
tstring quoteProgramPath(const tstring& path);

// One argument quoted so that split() and CommandLineToArgvW give it back
// unchanged.
tstring quoteArgument(const tstring& arg);

}  // namespace CommandLine
