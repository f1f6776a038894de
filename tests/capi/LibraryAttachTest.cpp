// The attach state DllMain keeps under "MutexToORVcapi".
#include "capi/LibraryAttach.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

using namespace CAPIBridge;

namespace {

const HMODULE kModule = nullptr;

TEST(LibraryAttach, FirstAttachCreatesTheInstanceLastDetachDestroysIt)
{
    ASSERT_EQ(nullptr, LibraryAttach::instance());
    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_ATTACH));
    ORVcapi* first = LibraryAttach::instance();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(1u, LibraryAttach::attachCount());

    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_ATTACH));
    EXPECT_EQ(first, LibraryAttach::instance());
    EXPECT_EQ(2u, LibraryAttach::attachCount());

    for (DWORD reason :
         {static_cast<DWORD>(DLL_THREAD_ATTACH), static_cast<DWORD>(DLL_THREAD_DETACH), static_cast<DWORD>(77)}) {
        EXPECT_EQ(TRUE, LibraryAttach::onNotification(kModule, reason));
        EXPECT_EQ(2u, LibraryAttach::attachCount());
    }

    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_DETACH));
    EXPECT_EQ(first, LibraryAttach::instance());
    EXPECT_EQ(1u, LibraryAttach::attachCount());
    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_DETACH));
    EXPECT_EQ(nullptr, LibraryAttach::instance());
    EXPECT_EQ(0u, LibraryAttach::attachCount());

    // An unmatched detach leaves the count at zero instead of wrapping it.
    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_DETACH));
    EXPECT_EQ(0u, LibraryAttach::attachCount());
}

TEST(LibraryAttach, DetachWhileAnotherThreadHoldsTheMutexTimesOutAndKeepsTheState)
{
    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_ATTACH));
    ORVcapi* attached = LibraryAttach::instance();

    std::promise<void> held, done;
    std::thread holder([&held, release = done.get_future()] {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, "MutexToORVcapi");
        if (WaitForSingleObject(mutex, 5000) == WAIT_OBJECT_0) {
            held.set_value();
        }
        release.wait();
        ReleaseMutex(mutex);
        CloseHandle(mutex);
    });
    held.get_future().wait();

    const auto start = std::chrono::steady_clock::now();
    const BOOL result = LibraryAttach::onNotification(kModule, DLL_PROCESS_DETACH, 300);
    const auto waited = std::chrono::steady_clock::now() - start;
    done.set_value();
    holder.join();

    EXPECT_EQ(FALSE, result);
    EXPECT_GE(waited, std::chrono::milliseconds(290));
    EXPECT_EQ(30000u, LibraryAttach::kWaitMilliseconds);
    EXPECT_EQ(attached, LibraryAttach::instance());
    EXPECT_EQ(1u, LibraryAttach::attachCount());

    ASSERT_EQ(TRUE, LibraryAttach::onNotification(kModule, DLL_PROCESS_DETACH));
    EXPECT_EQ(nullptr, LibraryAttach::instance());
}

} // namespace
