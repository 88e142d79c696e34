// The report of a check: numbered steps in the order the launcher takes
// them, each with plain lines, findings, warnings and errors.
#pragma once

#include "tstrings.h"

namespace imagetool {

class CheckReport {
public:
    // A quiet report writes nothing and keeps its first error.
    explicit CheckReport(bool quiet = false) : quiet(quiet) {}

    // A line before the first step.
    void heading(const tstring& text);
    // Starts the next numbered step: "<n>. <title>".
    void step(const tstring& title);

    // A line of facts: "   <text>".
    void info(const tstring& text);
    // Something that would keep the image from launching: "   error: <text>".
    void error(const tstring& text);
    // Legal, but almost always a mistake: "   warning: <text>".
    void warning(const tstring& text);

    // "Result: ..." with the counts; true when no error was reported.
    bool finish();

    const tstring& firstError() const { return firstErrorText; }

private:
    void write(const tstring& line) const;

    bool quiet;
    tstring firstErrorText;
    int steps = 0;
    int errors = 0;
    int warnings = 0;
};

}  // namespace imagetool
