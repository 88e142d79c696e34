// Tests of the launch data buffer: its byte layout, the table functions that
// measure, fill and release it, makeJvmlLauncherData, the size arithmetic,
// and startJvmFromData's call of the entry point.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "ErrorHandling.h"
#include "JvmLauncher.h"
#include "LogCapture.h"
#include "SysInfo.h"
#include "TestFiles.h"

using testing_support::LogCapture;
using testing_support::ScopedEnvVariable;

namespace {

const JvmlLauncherApiTable& api() {
    return *jvmLauncherGetAPI();
}

// The bytes of a wide string and its terminator in the buffer: UTF-16 units
// on Windows, code points where wchar_t has 32 bits.
std::size_t wideBytes(const std::wstring& value) {
    return (value.size() + 1) * sizeof(wchar_t);
}

// The bytes a filled buffer must hold, composed item by item; addresses are
// given as offsets from the buffer's start.
class ExpectedImage {
public:
    explicit ExpectedImage(const void* base) : base(reinterpret_cast<std::uintptr_t>(base)) {}

    ExpectedImage& pointer(std::size_t offset) { return u64(base + offset); }
    ExpectedImage& null() { return u64(0); }

    ExpectedImage& i32(std::int32_t value) {
        append(&value, sizeof(value));
        return *this;
    }

    ExpectedImage& text(const std::string& value) {
        append(value.c_str(), value.size() + 1);
        return *this;
    }

    ExpectedImage& wideText(const std::wstring& value) {
        append(value.c_str(), wideBytes(value));
        return *this;
    }

    const std::vector<unsigned char>& image() const { return bytes; }

private:
    ExpectedImage& u64(std::uint64_t value) {
        append(&value, sizeof(value));
        return *this;
    }

    void append(const void* data, std::size_t size) {
        const unsigned char* at = static_cast<const unsigned char*>(data);
        bytes.insert(bytes.end(), at, at + size);
    }

    std::uintptr_t base;
    std::vector<unsigned char> bytes;
};

const unsigned char kUntouched = 0xCC;

// Measures and fills a block of `extra` more bytes than needed.
std::vector<unsigned char> fill(const Jvm& jvm, std::size_t extra = 0) {
    const JvmlLauncherHandlePtr handle = jvm.makeLaunchData();
    const std::int32_t size = api().getJvmlLauncherDataSize(handle.get());
    EXPECT_GT(size, 0);
    std::vector<unsigned char> block(static_cast<std::size_t>(size) + extra, kUntouched);
    EXPECT_EQ(api().initJvmlLauncherData(handle.get(), block.data(), static_cast<std::int32_t>(block.size())),
              reinterpret_cast<JvmlLauncherData*>(block.data()));
    block.resize(static_cast<std::size_t>(size));
    return block;
}

void expectImage(const std::vector<unsigned char>& actual, const ExpectedImage& expected) {
    ASSERT_EQ(actual.size(), expected.image().size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i], expected.image()[i]) << "at offset " << i;
    }
}

Jvm& exampleJvm(Jvm& jvm) {
    return jvm.setLibraryPath(L"C:\\rt\\x.dll").appendArgument(L"a.exe").appendArgument(L"-jar").appendArgument(
        L"x.jar");
}

// The ANSI code page's bytes of `text`; UTF-8 is that code page on POSIX
// systems.
std::string acp(const std::wstring& text) {
#ifdef _WIN32
    const int size = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                          nullptr);
    return bytes;
#else
    return tstrings::toUtf8(text);
#endif
}

}  // namespace

TEST(LaunchDataTest, LaysOutArgumentsWithoutEnvironment) {
    Jvm jvm;
    const std::vector<unsigned char> block = fill(exampleJvm(jvm));
    const void* base = block.data();

    ExpectedImage expected(base);
    expected.pointer(40).i32(3).i32(0).pointer(52).pointer(101).pointer(101);
    expected.text("C:\\rt\\x.dll");
    expected.pointer(84).pointer(90).pointer(95).null();
    expected.text("a.exe").text("-jar").text("x.jar");
    expectImage(block, expected);
    EXPECT_EQ(block.size(), 101u);
}

TEST(LaunchDataTest, LaysOutOneEnvironmentVariable) {
    Jvm jvm;
    exampleJvm(jvm).addEnvironmentVariable(L"PATH", L"X");
    const std::vector<unsigned char> block = fill(jvm);

    const std::size_t names = 101;
    const std::size_t values = names + 8 + wideBytes(L"PATH");
    ExpectedImage expected(block.data());
    expected.pointer(40).i32(3).i32(1).pointer(52).pointer(names).pointer(values);
    expected.text("C:\\rt\\x.dll");
    expected.pointer(84).pointer(90).pointer(95).null();
    expected.text("a.exe").text("-jar").text("x.jar");
    expected.pointer(names + 8).wideText(L"PATH");
    expected.pointer(values + 8).wideText(L"X");
    expectImage(block, expected);
    EXPECT_EQ(block.size(), values + 8 + wideBytes(L"X"));
}

TEST(LaunchDataTest, EmptyArgumentVectorHoldsOnlyTheNullSlot) {
    Jvm jvm;
    jvm.setLibraryPath(L"L");
    const std::vector<unsigned char> block = fill(jvm);

    ExpectedImage expected(block.data());
    expected.pointer(40).i32(0).i32(0).pointer(42).pointer(50).pointer(50);
    expected.text("L").null();
    expectImage(block, expected);
}

TEST(LaunchDataTest, EmptyStringsTakeOneTerminatorAndOwnSlot) {
    Jvm jvm;
    jvm.appendArgument(L"").appendArgument(L"b").addEnvironmentVariable(L"N", L"");
    const std::vector<unsigned char> block = fill(jvm);

    const std::size_t names = 68;
    const std::size_t values = names + 8 + wideBytes(L"N");
    ExpectedImage expected(block.data());
    expected.pointer(40).i32(2).i32(1).pointer(41).pointer(names).pointer(values);
    expected.text("");
    expected.pointer(65).pointer(66).null();
    expected.text("").text("b");
    expected.pointer(names + 8).wideText(L"N");
    expected.pointer(values + 8).wideText(L"");
    expectImage(block, expected);
}

TEST(LaunchDataTest, ConvertsPathToUtf8ArgumentsToAnsiAndKeepsEnvironmentUtf16) {
    const std::wstring path = L"C:\\\u00e9\\\u65e5.dll";
    const std::wstring arg = L"\u00e9-\u65e5";
    const std::wstring value = L"\u65e5\U0001F600";
    Jvm jvm;
    jvm.setLibraryPath(path).appendArgument(arg).addEnvironmentVariable(L"V", value);
    const std::vector<unsigned char> block = fill(jvm);

    const std::string pathUtf8 = "C:\\\xc3\xa9\\\xe6\x97\xa5.dll";
    const std::string argAcp = acp(arg);
    const std::size_t argVector = 40 + pathUtf8.size() + 1;
    const std::size_t names = argVector + 16 + argAcp.size() + 1;
    const std::size_t values = names + 8 + wideBytes(L"V");
    ExpectedImage expected(block.data());
    expected.pointer(40).i32(1).i32(1).pointer(argVector).pointer(names).pointer(values);
    expected.text(pathUtf8);
    expected.pointer(argVector + 16).null().text(argAcp);
    expected.pointer(names + 8).wideText(L"V");
    expected.pointer(values + 8).wideText(value);
    expectImage(block, expected);
}

TEST(LaunchDataTest, BlockOneByteTooSmallStaysUntouched) {
    Jvm jvm;
    const JvmlLauncherHandlePtr handle = exampleJvm(jvm).makeLaunchData();
    std::vector<unsigned char> block(100, kUntouched);

    EXPECT_EQ(api().initJvmlLauncherData(handle.get(), block.data(), 100), nullptr);
    EXPECT_EQ(block, std::vector<unsigned char>(100, kUntouched));
    EXPECT_EQ(api().initJvmlLauncherData(handle.get(), block.data(), 0), nullptr);
    EXPECT_EQ(api().initJvmlLauncherData(handle.get(), block.data(), -1), nullptr);
    EXPECT_EQ(api().initJvmlLauncherData(handle.get(), nullptr, 1000), nullptr);
    EXPECT_EQ(block, std::vector<unsigned char>(100, kUntouched));
}

TEST(LaunchDataTest, LargerBlockKeepsBytesAfterTheSize) {
    Jvm jvm;
    const JvmlLauncherHandlePtr handle = exampleJvm(jvm).makeLaunchData();
    std::vector<unsigned char> block(117, kUntouched);

    EXPECT_EQ(api().initJvmlLauncherData(handle.get(), block.data(), 117),
              reinterpret_cast<JvmlLauncherData*>(block.data()));
    EXPECT_EQ(std::vector<unsigned char>(block.begin() + 101, block.end()),
              std::vector<unsigned char>(16, kUntouched));
    EXPECT_NE(block[100], kUntouched);
}

TEST(LaunchDataTest, TableFunctionsAcceptNullHandle) {
    LogCapture capture;
    api().closeHandle(nullptr);
    EXPECT_TRUE(capture.records.empty());

    EXPECT_EQ(api().getJvmlLauncherDataSize(nullptr), -1);
    unsigned char block[64] = {};
    EXPECT_EQ(api().initJvmlLauncherData(nullptr, block, sizeof(block)), nullptr);

    const std::vector<LogRecord> errors = capture.withSeverity(L"ERROR");
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].function, L"`anonymous-namespace'::getJvmlLauncherDataSize");
    EXPECT_EQ(errors[1].function, L"`anonymous-namespace'::initJvmlLauncherData");
    EXPECT_EQ(errors[0].message.rfind(L"Exception with message '", 0), 0u);
}

TEST(LaunchDataTest, MakeJvmlLauncherDataTracesMeasuringAndFilling) {
    Jvm jvm;
    exampleJvm(jvm);
    JvmlLauncherHandlePtr handle = jvm.makeLaunchData();
    std::int32_t size = 0;

    LogCapture capture;
    JvmlLauncherData* data = makeJvmlLauncherData(&api(), handle.release(), &size);
    ASSERT_NE(data, nullptr);
    const JvmlLauncherDataPtr owner(data);

    EXPECT_EQ(size, 101);
    const std::vector<LogRecord> traces = capture.withSeverity(L"TRACE");
    ASSERT_EQ(traces.size(), 3u);
    EXPECT_EQ(traces[0].message, L"Need 101 bytes for JvmlLauncherData buffer");
    EXPECT_EQ(traces[1].message, L"Need 101 bytes for JvmlLauncherData buffer");
    EXPECT_EQ(traces[2].message,
              L"Initialized 101 bytes at " + (tstrings::Builder() << static_cast<const void*>(data)).str() +
                  L" address");
    for (const LogRecord& record : traces) {
        EXPECT_EQ(record.function, L"`anonymous-namespace'::QsrLaunchData::initJvmlLauncherData");
        EXPECT_EQ(record.fileName, L"JvmLauncher.cpp");
    }
}

TEST(LaunchDataTest, MakeJvmlLauncherDataWithoutSizeOutput) {
    Jvm jvm;
    jvm.setLibraryPath(L"C:\\rt\\x.dll");
    const JvmlLauncherDataPtr data(makeJvmlLauncherData(&api(), jvm.makeLaunchData().release(), nullptr));
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data->libPath, "C:\\rt\\x.dll");
    EXPECT_EQ(data->argCount, 0);
    EXPECT_EQ(makeJvmlLauncherData(&api(), nullptr, nullptr), nullptr);
}

namespace {

// A table whose functions count their calls and answer as told.
struct FakeTable {
    static std::int32_t size;
    static bool fillFails;
    static int closed;
    static int filled;
    static JvmlLauncherHandle lastClosed;

    static void closeHandle(JvmlLauncherHandle handle) {
        ++closed;
        lastClosed = handle;
    }
    static std::int32_t getSize(JvmlLauncherHandle) { return size; }
    static JvmlLauncherData* init(JvmlLauncherHandle, void* block, std::int32_t) {
        ++filled;
        return fillFails ? nullptr : static_cast<JvmlLauncherData*>(block);
    }

    static JvmlLauncherApiTable table(std::int32_t answer, bool failFill) {
        size = answer;
        fillFails = failFill;
        closed = 0;
        filled = 0;
        lastClosed = nullptr;
        return JvmlLauncherApiTable{closeHandle, getSize, init};
    }
};

std::int32_t FakeTable::size = 0;
bool FakeTable::fillFails = false;
int FakeTable::closed = 0;
int FakeTable::filled = 0;
JvmlLauncherHandle FakeTable::lastClosed = nullptr;

int handleTarget = 0;
JvmlLauncherHandle const kFakeHandle = &handleTarget;

}  // namespace

TEST(LaunchDataTest, MakeJvmlLauncherDataConsumesHandleOnEveryOutcome) {
    struct Case {
        std::int32_t size;
        bool fillFails;
        bool succeeds;
        int filled;
    };
    for (const Case& c : {Case{-1, false, false, 0}, Case{0, false, false, 0}, Case{16, true, false, 1},
                          Case{16, false, true, 1}}) {
        const JvmlLauncherApiTable table = FakeTable::table(c.size, c.fillFails);
        std::int32_t size = 7;
        const JvmlLauncherDataPtr data(makeJvmlLauncherData(&table, kFakeHandle, &size));

        EXPECT_EQ(data.get() != nullptr, c.succeeds) << "size " << c.size;
        EXPECT_EQ(size, c.succeeds ? c.size : 7) << "size " << c.size;
        EXPECT_EQ(FakeTable::filled, c.filled) << "size " << c.size;
        EXPECT_EQ(FakeTable::closed, 1) << "size " << c.size;
        EXPECT_EQ(FakeTable::lastClosed, kFakeHandle) << "size " << c.size;
    }
}

TEST(LaunchDataTest, MakeJvmlLauncherDataIgnoresNullHandle) {
    const JvmlLauncherApiTable table = FakeTable::table(16, false);
    EXPECT_EQ(makeJvmlLauncherData(&table, nullptr, nullptr), nullptr);
    EXPECT_EQ(FakeTable::closed, 0);
}

TEST(LaunchDataTest, MakeLaunchBufferRaisesWhenNoBufferComes) {
    for (const std::int32_t size : {-1, 0}) {
        const JvmlLauncherApiTable table = FakeTable::table(size, false);
        try {
            makeLaunchBuffer(table, kFakeHandle);
            ADD_FAILURE() << "no error for size " << size;
        } catch (const KivoError<std::runtime_error>& e) {
            EXPECT_STREQ(e.bareMessage(), "Failed to prepare JVM launch data");
        }
        EXPECT_EQ(FakeTable::closed, 1);
    }
    const JvmlLauncherApiTable failingFill = FakeTable::table(16, true);
    EXPECT_THROW(makeLaunchBuffer(failingFill, kFakeHandle), KivoError<std::runtime_error>);
}

struct SizeCase {
    std::int32_t size;
    std::size_t count;
    std::size_t itemBytes;
    std::int64_t expected;  // -1: overflow
};

void PrintTo(const SizeCase& c, std::ostream* os) {
    *os << c.size << "+" << c.count << "x" << c.itemBytes;
}

class LaunchDataSizeTest : public testing::TestWithParam<SizeCase> {};

TEST_P(LaunchDataSizeTest, AddsOrDetectsOverflow) {
    const SizeCase& c = GetParam();
    if (c.expected < 0) {
        EXPECT_THROW(addLaunchDataBytes(c.size, c.count, c.itemBytes), KivoError<std::runtime_error>);
    } else {
        EXPECT_EQ(addLaunchDataBytes(c.size, c.count, c.itemBytes), c.expected);
    }
}

namespace {
const std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
const std::size_t kSizeMax = std::numeric_limits<std::size_t>::max();
}  // namespace

INSTANTIATE_TEST_SUITE_P(Cases, LaunchDataSizeTest,
                         testing::Values(SizeCase{40, 12, 1, 52}, SizeCase{40, 4, 8, 72}, SizeCase{40, 0, 8, 40},
                                         SizeCase{40, 5, 0, 40}, SizeCase{kMax - 8, 1, 8, kMax},
                                         SizeCase{kMax - 8, 1, 9, -1}, SizeCase{kMax - 8, 9, 1, -1},
                                         SizeCase{kMax, 0, 2, kMax}, SizeCase{kMax, 1, 1, -1},
                                         SizeCase{0, 0x80000000u, 1, -1}, SizeCase{0, 0x40000000u, 2, -1},
                                         SizeCase{0, 0x3FFFFFFFu, 2, kMax - 1}, SizeCase{40, kSizeMax, 2, -1},
                                         SizeCase{40, kSizeMax / 8 + 2, 8, -1}, SizeCase{-1, 1, 1, -1}));

namespace {

// What the fake entry point received.
struct EntryCall {
    int calls = 0;
    std::int32_t argc = -1;
    char** argv = nullptr;
    std::int32_t p3 = -1;
    char** p4 = nullptr;
    std::int32_t p5 = -1;
    char** p6 = nullptr;
    std::string p7, p8, p9, p10;
    bool stringsPresent = false;
    unsigned p11 = 9, p12 = 9, p13 = 9;
    std::int32_t p14 = -1;
    std::wstring envSeen;
};

EntryCall entryCall;
std::int32_t entryResult = 0;

std::int32_t fakeEntryPoint(std::int32_t argc, char** argv, std::int32_t p3, char** p4, std::int32_t p5, char** p6,
                            const char* p7, const char* p8, const char* p9, const char* p10, unsigned char p11,
                            unsigned char p12, unsigned char p13, std::int32_t p14) {
    EntryCall& call = entryCall;
    ++call.calls;
    call.argc = argc;
    call.argv = argv;
    call.p3 = p3;
    call.p4 = p4;
    call.p5 = p5;
    call.p6 = p6;
    call.stringsPresent = p7 && p8 && p9 && p10;
    if (call.stringsPresent) {
        call.p7 = p7;
        call.p8 = p8;
        call.p9 = p9;
        call.p10 = p10;
    }
    call.p11 = p11;
    call.p12 = p12;
    call.p13 = p13;
    call.p14 = p14;
    call.envSeen = SysInfo::getEnvVariable(L"KIVO_LDTEST_A", L"unset");
    return entryResult;
}

void* fakeEntryAddress() {
    QsrLaunchFunc function = fakeEntryPoint;
    return reinterpret_cast<void*>(function);
}

const char* argAt(char** argv, int i) {
    const char* value;
    std::memcpy(&value, reinterpret_cast<const char*>(argv) + i * sizeof(char*), sizeof(value));
    return value;
}

}  // namespace

TEST(LaunchDataTest, StartJvmFromDataPassesFourteenParameters) {
    Jvm jvm;
    const JvmlLauncherDataPtr data = makeLaunchBuffer(api(), exampleJvm(jvm).makeLaunchData().release());
    entryCall = EntryCall();
    entryResult = 0;

    EXPECT_EQ(startJvmFromData(data.get(), fakeEntryAddress()), 0);

    ASSERT_EQ(entryCall.calls, 1);
    EXPECT_EQ(entryCall.argc, 3);
    EXPECT_EQ(entryCall.argv, data->argVector);
    EXPECT_STREQ(argAt(entryCall.argv, 0), "a.exe");
    EXPECT_STREQ(argAt(entryCall.argv, 1), "-jar");
    EXPECT_STREQ(argAt(entryCall.argv, 2), "x.jar");
    EXPECT_EQ(argAt(entryCall.argv, 3), nullptr);
    EXPECT_EQ(entryCall.p3, 0);
    EXPECT_EQ(entryCall.p4, nullptr);
    EXPECT_EQ(entryCall.p5, 0);
    EXPECT_EQ(entryCall.p6, nullptr);
    ASSERT_TRUE(entryCall.stringsPresent);
    EXPECT_EQ(entryCall.p7, "");
    EXPECT_EQ(entryCall.p8, "");
    EXPECT_EQ(entryCall.p9, "java");
    EXPECT_EQ(entryCall.p10, "java");
    EXPECT_EQ(entryCall.p11, 0u);
    EXPECT_EQ(entryCall.p12, 0u);
    EXPECT_EQ(entryCall.p13, 0u);
    EXPECT_EQ(entryCall.p14, 0);
}

TEST(LaunchDataTest, StartJvmFromDataReturnsEntryPointResult) {
    Jvm jvm;
    const JvmlLauncherDataPtr data = makeLaunchBuffer(api(), exampleJvm(jvm).makeLaunchData().release());
    for (const std::int32_t result : {0, 1, -1, std::numeric_limits<std::int32_t>::min()}) {
        entryResult = result;
        EXPECT_EQ(startJvmFromData(data.get(), fakeEntryAddress()), result);
    }
}

TEST(LaunchDataTest, StartJvmFromDataSetsEnvironmentBeforeTheCallAndSkipsFailures) {
    const ScopedEnvVariable variable(L"KIVO_LDTEST_A", std::nullopt);
    Jvm jvm;
    jvm.addEnvironmentVariable(L"KIVO_LDTEST=BAD", L"x").addEnvironmentVariable(L"KIVO_LDTEST_A", L"\u65e5 1");
    const JvmlLauncherDataPtr data = makeLaunchBuffer(api(), jvm.makeLaunchData().release());
    entryCall = EntryCall();
    entryResult = 0;

    startJvmFromData(data.get(), fakeEntryAddress());

    EXPECT_EQ(entryCall.envSeen, L"\u65e5 1");
    EXPECT_EQ(entryCall.argc, 0);
}

namespace {

// Whether getenv, which the trace switch reads, gives `value`. The Windows C
// runtime reads a copy of the environment taken at its start, which
// variables set afterwards through the system do not reach.
bool cRuntimeSees(const tstring& name, const tstring& value) {
    const char* const seen = std::getenv(tstrings::toUtf8(name).c_str());
    return seen && seen == tstrings::toUtf8(value);
}

}  // namespace

// The buffer packs its strings without padding: here the name starts at an
// odd offset, so neither the setting nor the trace may read it in place.
TEST(LaunchDataTest, StartJvmFromDataReadsEnvironmentAtUnalignedAddresses) {
    const ScopedEnvVariable variable(L"KIVO_LDTEST_A", std::nullopt);
    const ScopedEnvVariable debug(L"KIVO_DEBUG", tstring(L"true"));
    Jvm jvm;
    jvm.setLibraryPath(L"LL").addEnvironmentVariable(L"KIVO_LDTEST_A", L"\u65e5\U0001F600");
    const JvmlLauncherDataPtr data = makeLaunchBuffer(api(), jvm.makeLaunchData().release());
    const void* name = nullptr;
    std::memcpy(&name, data->envNames, sizeof(name));
    ASSERT_NE(reinterpret_cast<std::uintptr_t>(name) % alignof(wchar_t), 0u);
    entryCall = EntryCall();
    entryResult = 0;

    testing::internal::CaptureStderr();
    startJvmFromData(data.get(), fakeEntryAddress());
    const std::string trace = testing::internal::GetCapturedStderr();

    EXPECT_EQ(entryCall.envSeen, L"\u65e5\U0001F600");
    if (cRuntimeSees(L"KIVO_DEBUG", L"true")) {
        EXPECT_NE(trace.find("env var[0]: KIVO_LDTEST_A=[\xe6\x97\xa5\xf0\x9f\x98\x80]\n"), std::string::npos)
            << trace;
    }
}
