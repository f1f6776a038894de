// Loads and frees ORVNative.dll under Wine so its DllMain runs as Windows
// runs it, including an attach that gives up waiting for the shared mutex.
#include "OnLoadExport.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

const char* const kMutexName = "MutexToORVcapi";

// Owns the library's named mutex on a thread of its own, because a Windows
// mutex lets its owning thread in again and the loader runs on ours.
class MutexHolder {
public:
    MutexHolder() { taken_.get_future().wait(); }
    ~MutexHolder()
    {
        release_.set_value();
        thread_.join();
    }
    bool owned() const { return owned_; }

private:
    void run(std::future<void> release)
    {
        HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
        owned_ = mutex != nullptr && WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0;
        taken_.set_value();
        release.wait();
        if (owned_) {
            ReleaseMutex(mutex);
        }
        CloseHandle(mutex);
    }

    std::promise<void> taken_, release_;
    bool owned_ = false;
    std::thread thread_{&MutexHolder::run, this, release_.get_future()};
};

} // namespace

TEST(DllAttach, LoadCreatesTheNamedMutexAndFreeDetaches)
{
    HMODULE library = LoadLibraryA("ORVNative.dll");
    ASSERT_NE(library, nullptr) << "LoadLibraryA failed with " << GetLastError();
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, kMutexName);
    EXPECT_NE(mutex, nullptr) << "attach should have created " << kMutexName;
    // Nobody may be left holding it after attach.
    EXPECT_EQ(WaitForSingleObject(mutex, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    EXPECT_TRUE(FreeLibrary(library));

    HMODULE again = LoadLibraryA("ORVNative.dll");
    ASSERT_NE(again, nullptr);
    EXPECT_NE(GetProcAddress(again, kOnLoadExport), nullptr);
    EXPECT_TRUE(FreeLibrary(again));
}

// The same attach built with a 0.5 s wait: running the shipped 30 s out would
// only cost time.
const char* const kShortWaitDll = "orvattachwait.dll";

TEST(DllAttach, AttachFailsWhenTheMutexStaysTakenPastTheWait)
{
    const auto started = std::chrono::steady_clock::now();
    {
        MutexHolder holder;
        ASSERT_TRUE(holder.owned());
        HMODULE library = LoadLibraryA(kShortWaitDll);
        const DWORD error = GetLastError();
        EXPECT_EQ(library, nullptr);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_DLL_INIT_FAILED));
        if (library != nullptr) {
            FreeLibrary(library);
        }
    }
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_GE(waited, std::chrono::milliseconds(490)) << "the attach should wait its full 0.5 s";

    // Once the mutex is free again, the library loads.
    HMODULE library = LoadLibraryA(kShortWaitDll);
    ASSERT_NE(library, nullptr);
    EXPECT_TRUE(FreeLibrary(library));
}
