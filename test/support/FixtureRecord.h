// The record that the fixture runtime's QSR_Launch writes to standard
// output, parsed back from captured output.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

struct FixtureRecord {
    // "qsr: begin" and "qsr: end" were both seen.
    bool found = false;
    int argc = -1;
    // The argument bytes as QSR_Launch received them.
    std::vector<std::string> argv;
    // The parameter line after "qsr: ", "p3=0 p4=null ... p14=0".
    std::string params;
    bool argvTerminated = false;
    std::string cwd;  // UTF-8
    unsigned long pid = 0;
    // The ANSI and OEM code pages of the process that ran QSR_Launch.
    unsigned acp = 0;
    unsigned oemcp = 0;
    // Names listed in KIVO_FIXTURE_SHOW_ENV; std::nullopt for an unset one.
    std::map<std::string, std::optional<std::string>> env;
};

// The parameters 3 to 14 that the launcher passes on every launch, as the
// record shows them.
extern const char* const kLaunchParams;

// Parses the first record in `out`; `found` stays false when there is none
// or it is incomplete.
FixtureRecord parseFixtureRecord(const std::string& out);

}  // namespace testing_support
