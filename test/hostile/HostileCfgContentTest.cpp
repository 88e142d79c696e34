// Configuration files with hostile content, each launched once on both
// launch paths: binary, huge, invalid UTF-8, NUL bytes, odd line ends,
// repeated sections and thousands of properties.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "HostileLaunch.h"

using namespace testing_support;
using namespace std::string_literals;

namespace {

// What the launch must give: the parse error on a line, or the runtime
// started with these Java options and these arguments after the
// application path property.
struct Expected {
    std::optional<int> parseErrorLine;
    std::vector<std::string> javaOptions;
    std::vector<std::string> mainAndArgs;
};

struct CfgContent {
    std::string text;
    Expected expected;
};

struct CfgContentCase {
    const char* name;
    CfgContent (*make)();
};

void PrintTo(const CfgContentCase& testCase, std::ostream* out) { *out << testCase.name; }

std::vector<std::string> numbered(const std::string& prefix, int count) {
    std::vector<std::string> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(prefix + std::to_string(i));
    }
    return items;
}

bool isValidUtf8(const std::string& bytes) {
    return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                  static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

// The first line that is a section header without "]", as the text-mode
// reader splits the bytes; nothing when there is none.
std::optional<int> firstUnclosedHeader(const std::string& bytes) {
    const std::string text = bytes.substr(0, bytes.find('\x1A'));
    int lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, end - start);
        ++lineNumber;
        if (!line.empty() && line[0] == '[' && line.find(']') == std::string::npos && isValidUtf8(line)) {
            return lineNumber;
        }
        start = end + 1;
    }
    return std::nullopt;
}

CfgContent binaryBytes() {
    std::mt19937 random(20240607);
    std::string bytes(4 << 20, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
        // Without Ctrl+Z the reader has to go through all of it.
        if (c == '\x1A') {
            c = '\x1B';
        }
    }
    return {bytes, {firstUnclosedHeader(bytes), {}, {}}};
}

CfgContent hugeFile() {
    std::string text = "[Application]\napp.mainclass=Main\n[JavaOptions]\n;" + std::string(4 << 20, 'c') + "\n";
    const std::string filler = "unknown.property=" + std::string(100, 'v') + "\n";
    while (text.size() < (32u << 20)) {
        text += filler;
    }
    text += "java-options=-Dlast=1\n[ArgOptions]\narguments=tail\n";
    return {text, {std::nullopt, {"-Dlast=1"}, {"Main", "tail"}}};
}

CfgContent oneLineOfSeveralMegabytes() {
    const std::string option = "-Dbig=" + std::string(3 << 20, 'x');
    return {"[JavaOptions]\njava-options=" + option + "\n[Application]\napp.mainclass=Main\n",
            {std::nullopt, {option}, {"Main"}}};
}

CfgContent hugeLastLineWithoutLineEnd() {
    const std::string mainClass(2 << 20, 'M');
    return {"[Application]\napp.mainclass=" + mainClass, {std::nullopt, {}, {mainClass}}};
}

CfgContent invalidUtf8OnEveryLine() {
    return {"[Application\xFF\n"
            "[Application]\xC3\n"
            "app.mainclass=Evil\xC0\xAF\n"
            "\xED\xA0\x80\n"
            "\xF4\x90\x80\x80\n"
            "\xE2\x82\n"
            "[JavaOptions]\x80\n"
            "java-options=-Dx\xFE\n"
            "\xF8\x88\x80\x80\x80\n"
            "[ArgOptions]\xC1\xBF\n"
            "arguments=x\xC0\x80\n",
            {}};
}

CfgContent invalidUtf8AmongValidLines() {
    return {"[Application]\n"
            "app.mainclass=Main\n"
            "app.mainclass=Evil\xFF\n"
            "[Application\xFE\n"
            "[JavaOptions]\n"
            "java-options=-Dok=1\n"
            "java-options=-Dbad=\xC3\x28\n",
            {std::nullopt, {"-Dok=1"}, {"Main"}}};
}

CfgContent nulBytes() {
    // A NUL inside a value ends the argument: the runtime gets C strings.
    return {"\0[Application\n"
            "[Application]\n"
            "app.main\0class=Evil\n"
            "app.mainclass=Main\n"
            ";\0comment\0\n"
            "[Java\0Options]\n"
            "java-options=-Dhidden=1\n"
            "[ArgOptions]\n"
            "arguments=a\0b\n"s,
            {std::nullopt, {}, {"Main", "a"}}};
}

CfgContent crOnlyLineEnds() {
    // One line: a header whose name runs up to its last "]".
    return {"[Application]\rapp.mainclass=Main\r[JavaOptions]\rjava-options=-Dx=1\r", {}};
}

CfgContent crOnlyLineEndsWithUnclosedHeader() {
    return {"[Application\rapp.mainclass=Main\r[JavaOptions\r", {1, {}, {}}};
}

CfgContent crLfAcrossReadChunks() {
    // Every CR sits on the last byte of a 4 KiB block, 64 KiB ones included.
    std::string text = "[JavaOptions]\r\n";
    std::vector<std::string> options;
    // Line lengths count the CR LF.
    std::size_t lineLength = 4096 - text.size() + 1;
    for (int i = 0; i < 40; ++i) {
        const std::string head = "java-options=-D" + std::to_string(i) + "=";
        const std::string option = "-D" + std::to_string(i) + "=" + std::string(lineLength - 2 - head.size(), 'k');
        options.push_back(option);
        text += "java-options=" + option + "\r\n";
        lineLength = 4096;
    }
    return {text, {std::nullopt, options, {}}};
}

CfgContent repeatedSections() {
    std::string text;
    const int rounds = 100000;
    for (int i = 0; i < rounds; ++i) {
        const std::string n = std::to_string(i);
        text += "[Application]\napp.mainclass=Main" + n + "\n[JavaOptions]\njava-options=-Dround=" + n + "\n";
    }
    // Later occurrences without recognised properties leave the last ones.
    text += "[Application]\n; none\n[JavaOptions]\nunknown=1\n";
    const std::string last = std::to_string(rounds - 1);
    return {text, {std::nullopt, {"-Dround=" + last}, {"Main" + last}}};
}

CfgContent thousandsOfProperties() {
    const std::vector<std::string> options = numbered("-Dp", 1000);
    const std::vector<std::string> args = numbered("a", 100);
    std::string text = "[JavaOptions]\n";
    for (const std::string& option : options) {
        text += "java-options=" + option + "\n";
    }
    for (int i = 0; i < 20000; ++i) {
        text += "unknown.p" + std::to_string(i) + "=v\n";
    }
    text += "[Application]\napp.mainclass=Main\n[ArgOptions]\n";
    for (const std::string& arg : args) {
        text += "arguments=" + arg + "\n";
    }
    std::vector<std::string> mainAndArgs = {"Main"};
    mainAndArgs.insert(mainAndArgs.end(), args.begin(), args.end());
    return {text, {std::nullopt, options, mainAndArgs}};
}

CfgContent unclosedHeaderFarDown() {
    const char* const fillers[] = {"\r\n", ";comment\r\n", "unknown=1\r\n"};
    std::string text = "[Application]\r\napp.mainclass=Main\r\n";
    const int fillerLines = 250000;
    for (int i = 0; i < fillerLines; ++i) {
        text += fillers[i % 3];
    }
    text += "[Application\r\n";
    return {text, {2 + fillerLines + 1, {}, {}}};
}

CfgContent ctrlZEndsInput() {
    return {"[Application]\napp.mainclass=Main\n\x1A[Broken\n", {std::nullopt, {}, {"Main"}}};
}

CfgContent byteOrderMarkBeforeHeader() {
    return {"\xEF\xBB\xBF[Application]\napp.mainclass=Evil\n[ArgOptions]\narguments=x\n", {std::nullopt, {}, {"x"}}};
}

CfgContent hugeSectionName() {
    return {"[" + std::string(2 << 20, 'A') + "]\njava-options=-Dx=1\n[Application]\napp.mainclass=Main\n",
            {std::nullopt, {}, {"Main"}}};
}

CfgContent lonelyOpenBracket() { return {"\n;\n[\n", {3, {}, {}}}; }

CfgContent emptyFile() { return {"", {}}; }

const CfgContentCase cases[] = {
    {"BinaryBytes", binaryBytes},
    {"HugeFile", hugeFile},
    {"OneLineOfSeveralMegabytes", oneLineOfSeveralMegabytes},
    {"HugeLastLineWithoutLineEnd", hugeLastLineWithoutLineEnd},
    {"InvalidUtf8OnEveryLine", invalidUtf8OnEveryLine},
    {"InvalidUtf8AmongValidLines", invalidUtf8AmongValidLines},
    {"NulBytes", nulBytes},
    {"CrOnlyLineEnds", crOnlyLineEnds},
    {"CrOnlyLineEndsWithUnclosedHeader", crOnlyLineEndsWithUnclosedHeader},
    {"CrLfAcrossReadChunks", crLfAcrossReadChunks},
    {"RepeatedSections", repeatedSections},
    {"ThousandsOfProperties", thousandsOfProperties},
    {"UnclosedHeaderFarDown", unclosedHeaderFarDown},
    {"CtrlZEndsInput", ctrlZEndsInput},
    {"ByteOrderMarkBeforeHeader", byteOrderMarkBeforeHeader},
    {"HugeSectionName", hugeSectionName},
    {"LonelyOpenBracket", lonelyOpenBracket},
    {"EmptyFile", emptyFile},
};

std::string abbreviated(const std::string& text) {
    return text.size() <= 80 ? text : text.substr(0, 60) + "... (" + std::to_string(text.size()) + " bytes)";
}

// Argument vectors of many megabytes would drown a plain comparison's report.
void expectArgv(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
    EXPECT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < std::min(actual.size(), expected.size()); ++i) {
        if (actual[i] != expected[i]) {
            ADD_FAILURE() << "argv[" << i << "] is " << abbreviated(actual[i]) << ", expected "
                          << abbreviated(expected[i]);
            return;
        }
    }
}

class HostileCfgContentTest : public ::testing::TestWithParam<std::tuple<CfgContentCase, LaunchPath>> {};

TEST_P(HostileCfgContentTest, FailsCleanlyOrLaunchesWithWhatTheFileSays) {
    const auto& [testCase, path] = GetParam();
    const CfgContent content = testCase.make();
    LauncherImage image;
    image.installRuntime();
    image.writeCfg(content.text);

    const HostileRun run = runHostile(image, path);

    if (content.expected.parseErrorLine) {
        EXPECT_EQ(run.result.exitCode, 1u);
        EXPECT_EQ(run.errorLine, "Error parsing [" + utf8(image.cfgPath()) + "] file at " +
                                     std::to_string(*content.expected.parseErrorLine) + ": Missing ']' character");
        EXPECT_FALSE(run.record.found);
        return;
    }
    EXPECT_EQ(run.result.exitCode, 0u);
    EXPECT_EQ(run.result.err, "");
    ASSERT_TRUE(run.record.found) << abbreviated(run.result.out);
    const std::string launcher = utf8(image.launcherPath());
    std::vector<std::string> argv = {launcher};
    argv.insert(argv.end(), content.expected.javaOptions.begin(), content.expected.javaOptions.end());
    argv.push_back("-Dkivo.app-path=" + launcher);
    argv.insert(argv.end(), content.expected.mainAndArgs.begin(), content.expected.mainAndArgs.end());
    expectArgv(run.record.argv, argv);
}

std::string caseName(const ::testing::TestParamInfo<std::tuple<CfgContentCase, LaunchPath>>& info) {
    return std::string(std::get<0>(info.param).name) +
           launchPathName(std::get<1>(info.param));
}

INSTANTIATE_TEST_SUITE_P(Files, HostileCfgContentTest,
                         ::testing::Combine(::testing::ValuesIn(cases),
                                            ::testing::Values(LaunchPath::InProcess, LaunchPath::Restart)),
                         caseName);

}  // namespace
