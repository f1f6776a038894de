#include "platform/Win32.h"

#include <gtest/gtest.h>

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

TEST(LoadLibrary, NcryptIsTheStandInsOwnUnlessHidden)
{
    HMODULE ncrypt = LoadLibraryA("NCrypt.dll");
    ASSERT_NE(nullptr, ncrypt);
    EXPECT_EQ(reinterpret_cast<void*>(&NCryptSignHash),
              reinterpret_cast<void*>(GetProcAddress(ncrypt, "NCryptSignHash")));
    EXPECT_EQ(nullptr, GetProcAddress(ncrypt, "NCryptCreatePersistedKey"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_TRUE(FreeLibrary(ncrypt));
    setenv("ORV_WIN32_NO_NCRYPT", "1", 1);
    EXPECT_EQ(nullptr, LoadLibraryA("ncrypt.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    unsetenv("ORV_WIN32_NO_NCRYPT");
}

TEST(LoadLibrary, MissingFileFailsWithModNotFound)
{
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("/nonexistent/libnothing.so"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST(LoadLibrary, NullOrEmptyNameIsInvalidParameter)
{
    EXPECT_EQ(nullptr, LoadLibraryA(nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryA(""));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
}

TEST(GetProcAddress, MissingSymbolFailsWithProcNotFound)
{
    HMODULE libc = LoadLibraryA("libc.so.6");
    ASSERT_NE(nullptr, libc);
    EXPECT_EQ(nullptr, GetProcAddress(libc, "C_GetFunctionList_nope"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, GetProcAddress(libc, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    FreeLibrary(libc);
}

TEST(GetProcAddress, NullModuleIsInvalidHandle)
{
    EXPECT_EQ(nullptr, GetProcAddress(nullptr, "strlen"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
}

} // namespace
