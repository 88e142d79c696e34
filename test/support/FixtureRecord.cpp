// Parsing of the fixture runtime's record.
#include "FixtureRecord.h"

#include <cstdlib>

#include "TestSupport.h"

namespace testing_support {

const char* const kLaunchParams =
    "p3=0 p4=null p5=0 p6=null p7=[] p8=[] p9=[java] p10=[java] p11=0 p12=0 p13=0 p14=0";

namespace {

const std::string kPrefix = "qsr: ";

bool takePrefix(std::string& text, const std::string& prefix) {
    if (text.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    text.erase(0, prefix.size());
    return true;
}

void parseEnvLine(FixtureRecord& record, const std::string& entry) {
    const std::string unset = " unset";
    const std::size_t equals = entry.find('=');
    if (equals != std::string::npos) {
        record.env[entry.substr(0, equals)] = entry.substr(equals + 1);
    } else if (entry.size() > unset.size() && entry.compare(entry.size() - unset.size(), unset.size(), unset) == 0) {
        record.env[entry.substr(0, entry.size() - unset.size())] = std::nullopt;
    }
}

void parseLine(FixtureRecord& record, std::string item) {
    if (takePrefix(item, "argc=")) {
        record.argc = std::atoi(item.c_str());
    } else if (takePrefix(item, "argv[")) {
        const std::size_t close = item.find("]=");
        if (close != std::string::npos) {
            record.argv.push_back(item.substr(close + 2));
        }
    } else if (item.compare(0, 3, "p3=") == 0) {
        record.params = item;
    } else if (takePrefix(item, "argv-terminated=")) {
        record.argvTerminated = item == "yes";
    } else if (takePrefix(item, "cwd=")) {
        record.cwd = item;
    } else if (takePrefix(item, "pid=")) {
        record.pid = std::strtoul(item.c_str(), nullptr, 10);
    } else if (takePrefix(item, "acp=")) {
        char* rest = nullptr;
        record.acp = static_cast<unsigned>(std::strtoul(item.c_str(), &rest, 10));
        std::string oem = rest;
        if (takePrefix(oem, " oemcp=")) {
            record.oemcp = static_cast<unsigned>(std::strtoul(oem.c_str(), nullptr, 10));
        }
    } else if (takePrefix(item, "env ")) {
        parseEnvLine(record, item);
    }
}

}  // namespace

FixtureRecord parseFixtureRecord(const std::string& out) {
    FixtureRecord record;
    bool inRecord = false;
    for (std::string line : lines(out)) {
        if (!takePrefix(line, kPrefix)) {
            continue;
        }
        if (!inRecord) {
            inRecord = line == "begin";
            continue;
        }
        if (line == "end") {
            record.found = true;
            return record;
        }
        parseLine(record, line);
    }
    return FixtureRecord();
}

}  // namespace testing_support
