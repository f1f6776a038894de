// Kernel calls the shipped layer and the stand-in share: mutexes and system
// message texts.
#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

struct Mutex : orvtest::Owned<HANDLE, CloseHandle> {
    explicit Mutex(const char* name, BOOL owned = FALSE) : Owned(CreateMutexA(nullptr, owned, name)) {}
};

TEST(Mutex, NamedMutexIsSharedAndReportsExisting)
{
    Mutex first("orv-test-shared");
    ASSERT_NE(nullptr, first.handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    Mutex second("orv-test-shared");
    ASSERT_NE(nullptr, second.handle);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(first.handle, 0));
    DWORD result = 0;
    std::thread other([&] { result = WaitForSingleObject(second.handle, 50); });
    other.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), result);
    EXPECT_TRUE(ReleaseMutex(first.handle));
}

TEST(Mutex, WaitTimesOutWhileAnotherThreadOwnsIt)
{
    Mutex mutex("orv-test-timeout");
    std::atomic<bool> taken{false}, done{false};
    std::thread owner([&] {
        WaitForSingleObject(mutex.handle, INFINITE);
        taken = true;
        while (!done)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ReleaseMutex(mutex.handle);
    });
    while (!taken)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(mutex.handle, 100));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(90));
    ORV_EXPECT_FAILS(ReleaseMutex(mutex.handle), ERROR_NOT_OWNER);
    done = true;
    owner.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex.handle, 1000));
    EXPECT_TRUE(ReleaseMutex(mutex.handle));
}

TEST(Mutex, OwnerMayWaitRecursively)
{
    Mutex mutex(nullptr, TRUE);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex.handle, 0));
    EXPECT_TRUE(ReleaseMutex(mutex.handle));
    DWORD stillOwned = 0;
    std::thread other([&] { stillOwned = WaitForSingleObject(mutex.handle, 0); });
    other.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), stillOwned);
    EXPECT_TRUE(ReleaseMutex(mutex.handle));
    EXPECT_FALSE(ReleaseMutex(mutex.handle));
}

TEST(Mutex, OwnerThreadEndingAbandonsIt)
{
    Mutex mutex("orv-test-abandoned");
    std::thread owner([&] { WaitForSingleObject(mutex.handle, INFINITE); });
    owner.join();
    EXPECT_EQ(static_cast<DWORD>(WAIT_ABANDONED), WaitForSingleObject(mutex.handle, 1000));
    EXPECT_TRUE(ReleaseMutex(mutex.handle));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(mutex.handle, 1000));
    EXPECT_TRUE(ReleaseMutex(mutex.handle));
}

TEST(Mutex, NameIsFreeOnceTheLastHandleCloses)
{
    HANDLE first = CreateMutexA(nullptr, FALSE, "orv-test-reused");
    ASSERT_TRUE(CloseHandle(first));
    Mutex again("orv-test-reused");
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
}

TEST(Mutex, ClosedOrBogusHandlesAreRefused)
{
    HANDLE handle = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(handle));
    ORV_EXPECT_ERROR(WAIT_FAILED, WaitForSingleObject(handle, 0), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(handle));
    ORV_EXPECT_FAILS(ReleaseMutex(nullptr), ERROR_INVALID_HANDLE);
    EXPECT_TRUE(DisableThreadLibraryCalls(nullptr));
}

std::string systemText(DWORD code)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, code, 0,
                                  reinterpret_cast<LPSTR>(&text), 0, nullptr);
    std::string result = text != nullptr ? std::string(text, length) : std::string();
    EXPECT_EQ(nullptr, LocalFree(text));
    return result;
}

TEST(FormatMessage, GivesSystemTextsEndingInCrLf)
{
    EXPECT_EQ("The system cannot find the file specified.\r\n", systemText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ("No more data is available.\r\n", systemText(ERROR_NO_MORE_ITEMS));
    std::string keyset = systemText(static_cast<DWORD>(NTE_BAD_KEYSET));
    EXPECT_EQ("\r\n", keyset.substr(keyset.size() - 2));
    EXPECT_GT(keyset.size(), 2u);
}

TEST(FormatMessage, UnknownCodesGiveNothing)
{
    char* text = nullptr;
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr, 0x7654321, 0,
                                 reinterpret_cast<LPSTR>(&text), 0, nullptr));
    EXPECT_EQ(nullptr, text);
}

TEST(FormatMessage, CallerBufferMustBeLargeEnough)
{
    char small[8];
    ORV_EXPECT_ERROR(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 2, 0, small, sizeof small, nullptr),
                     ERROR_INSUFFICIENT_BUFFER);
    char large[128];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, 2, 0, large,
                                  sizeof large, nullptr);
    EXPECT_EQ(std::strlen(large), length);
}

} // namespace

TEST(Environment, ValueLengthSizeNeededAndMissing)
{
    ::setenv("ORV_TEST_ENVIRONMENT", "abcdef", 1);
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(7u, GetEnvironmentVariableA("ORV_TEST_ENVIRONMENT", buffer, 6));
    EXPECT_STREQ("xxxxxxx", buffer);
    EXPECT_EQ(6u, GetEnvironmentVariableA("ORV_TEST_ENVIRONMENT", buffer, 7));
    EXPECT_STREQ("abcdef", buffer);
    ::unsetenv("ORV_TEST_ENVIRONMENT");
    SetLastError(0);
    EXPECT_EQ(0u, GetEnvironmentVariableA("ORV_TEST_ENVIRONMENT", buffer, 8));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
}
