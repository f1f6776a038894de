// Named mutexes with Windows semantics: recursive ownership by the owning
// thread, timeouts, WAIT_ABANDONED when the owner ended without releasing.
// Names are process-local: one table, guarded by its own lock.
#include "platform/linux/Failure.h"
#include "platform/linux/HandleTable.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace orv::platform {
namespace {

class MutexObject : public std::enable_shared_from_this<MutexObject> {
public:
    DWORD wait(DWORD milliseconds);
    bool release();
    void abandonIfOwnedBy(std::thread::id thread);
    void acquireInitially();

private:
    bool ownedByCaller() const { return owned_ && owner_ == std::this_thread::get_id(); }
    void takeOwnership();
    void rememberOwnedByThisThread();

    std::mutex lock_;
    std::condition_variable released_;
    bool owned_ = false;
    std::thread::id owner_;
    DWORD recursion_ = 0;
    bool abandoned_ = false;
};

// Mutexes the current thread owns; on thread exit they become abandoned,
// so a waiter learns that the protected state may be inconsistent.
struct OwnedByThread {
    std::vector<std::weak_ptr<MutexObject>> mutexes;
    ~OwnedByThread()
    {
        for (auto& weak : mutexes) {
            if (auto mutex = weak.lock()) {
                mutex->abandonIfOwnedBy(std::this_thread::get_id());
            }
        }
    }
};
thread_local OwnedByThread ownedByThread;

void MutexObject::takeOwnership()
{
    owned_ = true;
    owner_ = std::this_thread::get_id();
    recursion_ = 1;
    rememberOwnedByThisThread();
}

void MutexObject::rememberOwnedByThisThread()
{
    auto& list = ownedByThread.mutexes;
    for (auto it = list.begin(); it != list.end();) {
        std::shared_ptr<MutexObject> entry = it->lock();
        if (entry.get() == this) {
            return;
        }
        it = entry ? it + 1 : list.erase(it);
    }
    list.push_back(weak_from_this());
}

void MutexObject::acquireInitially()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (ownedByCaller()) {
        ++recursion_;
    } else if (!owned_) {
        takeOwnership();
    }
}

DWORD MutexObject::wait(DWORD milliseconds)
{
    std::unique_lock<std::mutex> guard(lock_);
    if (ownedByCaller()) {
        ++recursion_;
        return WAIT_OBJECT_0;
    }
    auto isFree = [this] { return !owned_; };
    if (milliseconds == INFINITE) {
        released_.wait(guard, isFree);
    } else if (!released_.wait_for(guard, std::chrono::milliseconds(milliseconds), isFree)) {
        return WAIT_TIMEOUT;
    }
    takeOwnership();
    if (abandoned_) {
        abandoned_ = false;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}

bool MutexObject::release()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!ownedByCaller()) {
        return false;
    }
    if (--recursion_ == 0) {
        owned_ = false;
        released_.notify_one();
    }
    return true;
}

void MutexObject::abandonIfOwnedBy(std::thread::id thread)
{
    std::lock_guard<std::mutex> guard(lock_);
    if (!owned_ || owner_ != thread) {
        return;
    }
    owned_ = false;
    recursion_ = 0;
    abandoned_ = true;
    released_.notify_one();
}

// Kernel handles (only mutexes here) and the table of mutex names.
HandleTable<MutexObject>& kernelHandles()
{
    static HandleTable<MutexObject> table(0x1000);
    return table;
}

struct NamedMutexes {
    std::mutex lock;
    std::map<std::string, std::weak_ptr<MutexObject>> byName;
};
NamedMutexes& namedMutexes()
{
    static NamedMutexes table;
    return table;
}

// The named object, created when missing; `existed` tells which.
std::shared_ptr<MutexObject> openOrCreate(const char* name, bool& existed)
{
    existed = false;
    if (name == nullptr || name[0] == '\0') {
        return std::make_shared<MutexObject>();
    }
    NamedMutexes& table = namedMutexes();
    std::lock_guard<std::mutex> guard(table.lock);
    // Names of mutexes whose last handle was closed are free again.
    for (auto it = table.byName.begin(); it != table.byName.end();) {
        it = it->second.expired() ? table.byName.erase(it) : std::next(it);
    }
    std::weak_ptr<MutexObject>& slot = table.byName[name];
    if (auto mutex = slot.lock()) {
        existed = true;
        return mutex;
    }
    auto mutex = std::make_shared<MutexObject>();
    slot = mutex;
    return mutex;
}

HANDLE toHandle(std::uintptr_t value)
{
    return reinterpret_cast<HANDLE>(value);
}
std::uintptr_t fromHandle(HANDLE handle)
{
    return reinterpret_cast<std::uintptr_t>(handle);
}

} // namespace
} // namespace orv::platform

using namespace orv::platform;

extern "C" {

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName)
{
    bool existed = false;
    std::shared_ptr<MutexObject> mutex = openOrCreate(lpName, existed);
    if (bInitialOwner) {
        mutex->acquireInitially();
    }
    HANDLE handle = toHandle(kernelHandles().add(mutex));
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    std::shared_ptr<MutexObject> mutex = kernelHandles().find(fromHandle(hHandle));
    if (!mutex) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    return mutex->wait(dwMilliseconds);
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex)
{
    std::shared_ptr<MutexObject> mutex = kernelHandles().find(fromHandle(hMutex));
    if (!mutex) {
        return fail(ERROR_INVALID_HANDLE);
    }
    if (!mutex->release()) {
        return fail(ERROR_NOT_OWNER);
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    if (!kernelHandles().remove(fromHandle(hObject))) {
        return fail(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

} // extern "C"
