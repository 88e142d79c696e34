// Tests of CfgFile::load on Windows named pipes: the read error of a pipe
// that breaks off before the end of its input.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "CfgFile.h"
#include "LoadErrors.h"
#include "TestSupport.h"

using namespace testing_support;

namespace {

// A pipe whose server disconnects makes reading fail before the end of the
// input (a server that merely closes its end would read as end of file).
TEST(CfgFileTest, DisconnectedPipeGivesReadError) {
    const tstring path = L"\\\\.\\pipe\\kivo-cfg-" + std::to_wstring(::GetCurrentProcessId());
    const OwnedFileHandle owned(::CreateNamedPipeW(path.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                                   4096, 4096, 0, nullptr));
    const HANDLE pipe = owned.get();
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    std::thread server([pipe] {
        if (::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED) {
            DWORD written = 0;
            ::WriteFile(pipe, "[Application]\n", 14, &written, nullptr);
            ::DisconnectNamedPipe(pipe);
        }
    });
    const std::string error = loadError([&] { CfgFile::load(path); });
    server.join();
    const std::string prefix = "Failed to read \"" + tstrings::toUtf8(path) + "\" file up to the end: ";
    EXPECT_EQ(error.substr(0, prefix.size()), prefix) << error;
    EXPECT_GT(error.size(), prefix.size()) << error;
}

}  // namespace
