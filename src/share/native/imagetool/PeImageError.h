// Why an executable's resources cannot be read or rewritten: the kind of
// problem, which decides how the tool words its message, and the reason.
#pragma once

#include <stdexcept>
#include <string>

namespace imagetool {

enum class PeProblem {
    // The bytes are not a 64-bit Windows program, or are garbled.
    notAProgram,
    // The file carries a signature that a rewrite would invalidate.
    signedImage,
    // A valid program whose layout the editor cannot rewrite safely.
    unsupportedLayout,
};

class PeImageError : public std::runtime_error {
public:
    PeImageError(PeProblem problem, const std::string& reason) : std::runtime_error(reason), kind(problem) {}

    PeProblem problem() const { return kind; }

private:
    PeProblem kind;
};

[[noreturn]] inline void failNotAProgram(const std::string& reason) {
    throw PeImageError(PeProblem::notAProgram, reason);
}

[[noreturn]] inline void failUnsupportedLayout(const std::string& reason) {
    throw PeImageError(PeProblem::unsupportedLayout, reason);
}

}  // namespace imagetool
