// Tests of TextFileReader: the lines it hands out must be those of the C
// runtime's text mode (CR LF read as LF, Ctrl+Z ends the input), also where
// a line, or a CR LF pair, straddles the reader's or the runtime's buffers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "FileUtils.h"
#include "TestFiles.h"
#include "TextFileReader.h"

using namespace testing_support;

namespace {

typedef std::vector<std::string> Lines;

// What text mode makes of the bytes, split at LF.
Lines expectedLines(const std::string& bytes) {
    const std::string input = bytes.substr(0, bytes.find('\x1A'));
    Lines lines;
    std::string line;
    for (std::size_t i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' && i + 1 < input.size() && input[i + 1] == '\n') {
            continue;
        }
        if (input[i] == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += input[i];
        }
    }
    if (!line.empty()) {
        lines.push_back(line);
    }
    return lines;
}

Lines readAll(const tstring& path) {
    TextFileReader reader(path);
    EXPECT_TRUE(reader.isOpen());
    Lines lines;
    std::string line;
    while (reader.readLine(line)) {
        lines.push_back(line);
    }
    EXPECT_FALSE(reader.failed());
    return lines;
}

class TextFileReaderTest : public testing::Test {
protected:
    Lines linesOf(const std::string& bytes) {
        writeFile(path, bytes);
        return readAll(path);
    }

    TempDir dir{L"reader"};
    tstring path = FileUtils::combinePath(dir.path(), L"text.txt");
};

TEST_F(TextFileReaderTest, SplitsAsTextModeReads) {
    const struct {
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"", {}},
        {"\n", {""}},
        {"\r\n", {""}},
        {"a", {"a"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb\r\n\r\n", {"a", "b", ""}},
        {"a\rb\r", {"a\rb\r"}},
        {"a\r\r\nb", {"a\r", "b"}},
        {"a\n\x1A\nb\n", {"a"}},
        {"\x1A" "a\n", {}},
        {"a\r\x1A", {"a\r"}},
        {std::string("a\0b\n\0", 5), {std::string("a\0b", 3), std::string(1, '\0')}},
        {"\xEF\xBB\xBFx\n", {"\xEF\xBB\xBFx"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(linesOf(c.bytes), c.lines) << testing::PrintToString(c.bytes);
    }
}

// The runtime's stream buffer and the reader's chunk.
const std::size_t kStreamBuffer = 4096;
const std::size_t kChunk = 64 * 1024;

TEST_F(TextFileReaderTest, KeepsCrLfPairsAcrossBufferBoundaries) {
    for (std::size_t boundary : {kStreamBuffer, kChunk, 2 * kChunk}) {
        for (std::size_t crAt = boundary - 2; crAt <= boundary + 1; ++crAt) {
            std::string bytes(crAt, 'x');
            bytes += "\r\nend\r\n";
            EXPECT_EQ(linesOf(bytes), (Lines{std::string(crAt, 'x'), "end"})) << crAt;
        }
    }
}

// A CR that ends one read waits for the first byte of the next; the read
// after a held CR starts with that CR and so ends one byte earlier in the file.
TEST_F(TextFileReaderTest, DecidesCrAtEndOfReadByNextRead) {
    const std::string x(kChunk - 1, 'x');
    const std::string y(kChunk - 2, 'y');
    const struct {
        const char* label;
        std::string bytes;
        Lines lines;
    } cases[] = {
        {"LfStartsNextRead", x + "\r\nend", {x, "end"}},
        {"OtherByteStartsNextRead", x + "\rend\n", {x + "\rend"}},
        {"CrIsLastByteOfFullRead", x + "\r", {x + "\r"}},
        {"CrIsLastByteOfFile", "a\r", {"a\r"}},
        {"CrEndsReadAfterHeldCr", x + "\r" + y + "\r", {x + "\r" + y + "\r"}},
        {"CrLfAcrossReadAfterHeldCr", x + "\r" + y + "\r\nz", {x + "\r" + y, "z"}},
        {"CtrlZStartsNextRead", x + "\r\x1A" "more\n", {x + "\r"}},
        {"CtrlZAfterCrLfAcrossReads", x + "\r\n\x1A\r\n", {x}},
        {"OnlyCr", "\r", {"\r"}},
        {"OnlyCrs", "\r\r\r", {"\r\r\r"}},
        {"OnlyCrsFillingOneRead", std::string(kChunk, '\r'), {std::string(kChunk, '\r')}},
        {"OnlyCrsOverThreeReads", std::string(2 * kChunk + 1, '\r'), {std::string(2 * kChunk + 1, '\r')}},
        {"OnlyCrsThenLf", std::string(kChunk, '\r') + "\n", {std::string(kChunk - 1, '\r')}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(expectedLines(c.bytes), c.lines) << c.label;
        EXPECT_EQ(linesOf(c.bytes), c.lines) << c.label;
    }
}

TEST_F(TextFileReaderTest, ReadsLineLongerThanManyChunks) {
    const std::string longLine(3 * 1024 * 1024 + 17, 'y');
    EXPECT_EQ(linesOf("a\n" + longLine + "\r\nb"), (Lines{"a", longLine, "b"}));
}

TEST_F(TextFileReaderTest, MatchesTextModeOnRandomFiles) {
    std::mt19937 random(20240611);
    const char alphabet[] = {'a', 'b', '=', '\r', '\n', '\r', '\n', '\0', '\xFF', '\xC3'};
    for (int round = 0; round < 150; ++round) {
        const std::size_t size = std::uniform_int_distribution<std::size_t>(0, 140000)(random);
        std::string bytes(size, 'a');
        for (char& c : bytes) {
            c = alphabet[random() % sizeof(alphabet)];
        }
        if (random() % 4 == 0 && size > 0) {
            bytes[random() % size] = '\x1A';
        }
        ASSERT_EQ(linesOf(bytes), expectedLines(bytes)) << "round " << round;
    }
}

TEST_F(TextFileReaderTest, ReportsOpenFailureOnce) {
    TextFileReader reader(FileUtils::combinePath(dir.path(), L"missing.txt"));
    EXPECT_FALSE(reader.isOpen());
    EXPECT_FALSE(reader.errorText().empty());
    std::string line = "left over";
    EXPECT_FALSE(reader.readLine(line));
    EXPECT_EQ(line, "");
    EXPECT_FALSE(reader.failed());
}

TEST_F(TextFileReaderTest, StaysAtEndAfterLastLine) {
    writeFile(path, "one\n");
    TextFileReader reader(path);
    std::string line;
    EXPECT_TRUE(reader.readLine(line));
    EXPECT_FALSE(reader.readLine(line));
    EXPECT_FALSE(reader.readLine(line));
    EXPECT_FALSE(reader.failed());
}

}  // namespace
