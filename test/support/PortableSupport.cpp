// The test helpers that need nothing of the system.
#include "TestFiles.h"

namespace testing_support {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        size_t next = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, (end == std::string::npos ? text.size() : end) - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        result.push_back(line);
        start = next;
    }
    return result;
}

ScopedEnvVariable::ScopedEnvVariable(const tstring& name, const std::optional<tstring>& value)
    : name(name), saved(envVariable(name)) {
    setEnvVariable(name, value);
}

ScopedEnvVariable::~ScopedEnvVariable() {
    try {
        setEnvVariable(name, saved);
    } catch (const std::exception&) {
        // The next test that reads the variable sets it itself.
    }
}

}  // namespace testing_support
