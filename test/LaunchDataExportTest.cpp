// Tests of the launch data table's export from the executable, found the way
// the runtime finds it: by name among the exports of the process's module.
#include <windows.h>

#include <gtest/gtest.h>

#include "JvmLauncher.h"

TEST(LaunchDataTest, TableIsExportedUndecorated) {
    const FARPROC exported = ::GetProcAddress(::GetModuleHandleW(nullptr), "jvmLauncherGetAPI");
    ASSERT_NE(exported, nullptr);
    const auto getApi = reinterpret_cast<const JvmlLauncherApiTable* (*)()>(reinterpret_cast<void*>(exported));
    EXPECT_EQ(getApi(), jvmLauncherGetAPI());
    EXPECT_EQ(getApi(), getApi());
    EXPECT_NE(jvmLauncherGetAPI()->closeHandle, nullptr);
    EXPECT_NE(jvmLauncherGetAPI()->getJvmlLauncherDataSize, nullptr);
    EXPECT_NE(jvmLauncherGetAPI()->initJvmlLauncherData, nullptr);
}
