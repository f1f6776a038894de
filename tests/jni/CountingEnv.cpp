// Counts GetMethodID and global reference calls through a copy of the JNI function table placed in front of the VM's.
#include "CountingEnv.h"

#include <atomic>
#include <cstring>

namespace {

using GetMethodIDFunction = jmethodID(JNICALL*)(JNIEnv*, jclass, const char*, const char*);
using NewGlobalRefFunction = jobject(JNICALL*)(JNIEnv*, jobject);
using DeleteGlobalRefFunction = void(JNICALL*)(JNIEnv*, jobject);

std::atomic<GetMethodIDFunction> vmGetMethodID{nullptr};
std::atomic<NewGlobalRefFunction> vmNewGlobalRef{nullptr};
std::atomic<DeleteGlobalRefFunction> vmDeleteGlobalRef{nullptr};
std::atomic<const char*> countedName{nullptr};
std::atomic<int> calls{0};
std::atomic<int> created{0};
std::atomic<int> deleted{0};

jmethodID JNICALL countingGetMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature)
{
    const char* wanted = countedName.load();
    if (wanted != nullptr && name != nullptr && std::strcmp(name, wanted) == 0) {
        calls.fetch_add(1);
    }
    return vmGetMethodID.load()(env, cls, name, signature);
}

jobject JNICALL countingNewGlobalRef(JNIEnv* env, jobject object)
{
    jobject global = vmNewGlobalRef.load()(env, object);
    if (global != nullptr) {
        created.fetch_add(1);
    }
    return global;
}

void JNICALL countingDeleteGlobalRef(JNIEnv* env, jobject global)
{
    if (global != nullptr) {
        deleted.fetch_add(1);
    }
    vmDeleteGlobalRef.load()(env, global);
}

} // namespace

CountingEnv::CountingEnv(JNIEnv* env, const char* methodName)
    : env_(env), original_(env->functions), table_(*env->functions)
{
    vmGetMethodID.store(original_->GetMethodID);
    vmNewGlobalRef.store(original_->NewGlobalRef);
    vmDeleteGlobalRef.store(original_->DeleteGlobalRef);
    countedName.store(methodName);
    table_.GetMethodID = &countingGetMethodID;
    table_.NewGlobalRef = &countingNewGlobalRef;
    table_.DeleteGlobalRef = &countingDeleteGlobalRef;
    env_->functions = &table_;
}

CountingEnv::~CountingEnv()
{
    env_->functions = original_;
}

int CountingEnv::count()
{
    return calls.load();
}

int CountingEnv::globalsCreated()
{
    return created.load();
}

int CountingEnv::globalsDeleted()
{
    return deleted.load();
}

void CountingEnv::reset()
{
    calls.store(0);
    created.store(0);
    deleted.store(0);
}
