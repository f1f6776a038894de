// Tests LoadLibraryA, GetProcAddress and the per-thread last error of the shipped Linux layer.
#include "TestSupport.h"

#include <thread>

namespace {

TEST(LastError, IsKeptPerThread)
{
    SetLastError(1234);
    DWORD seenByOther = 0;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(77);
    });
    other.join();
    EXPECT_EQ(0u, seenByOther);
    EXPECT_EQ(1234u, GetLastError());
}

TEST(LoadLibrary, FindsSymbolOfSystemLibrary)
{
    HMODULE libc = LoadLibraryA("libc.so.6");
    ASSERT_NE(nullptr, libc);
    FARPROC strlenProc = GetProcAddress(libc, "strlen");
    ASSERT_NE(nullptr, strlenProc);
    // Through void(*)() as on Windows, which -Wcast-function-type accepts.
    auto fn = reinterpret_cast<size_t (*)(const char*)>(reinterpret_cast<void (*)()>(strlenProc));
    EXPECT_EQ(5u, fn("hello"));
    EXPECT_TRUE(FreeLibrary(libc));
}

TEST(LoadLibrary, MissingFileFailsWithModNotFound)
{
    SetLastError(0);
    ORV_EXPECT_ERROR(nullptr, LoadLibraryA("/nonexistent/libnothing.so"), ERROR_MOD_NOT_FOUND);
}

TEST(LoadLibrary, NullOrEmptyNameIsInvalidParameter)
{
    ORV_EXPECT_ERROR(nullptr, LoadLibraryA(nullptr), ERROR_INVALID_PARAMETER);
    ORV_EXPECT_ERROR(nullptr, LoadLibraryA(""), ERROR_INVALID_PARAMETER);
}

TEST(GetProcAddress, MissingSymbolFailsWithProcNotFound)
{
    HMODULE libc = LoadLibraryA("libc.so.6");
    ASSERT_NE(nullptr, libc);
    ORV_EXPECT_ERROR(nullptr, GetProcAddress(libc, "C_GetFunctionList_nope"), ERROR_PROC_NOT_FOUND);
    ORV_EXPECT_ERROR(nullptr, GetProcAddress(libc, nullptr), ERROR_INVALID_PARAMETER);
    FreeLibrary(libc);
}

TEST(GetProcAddress, NullModuleIsInvalidHandle)
{
    ORV_EXPECT_ERROR(nullptr, GetProcAddress(nullptr, "strlen"), ERROR_INVALID_HANDLE);
}

} // namespace
