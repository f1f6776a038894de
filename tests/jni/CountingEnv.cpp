// Counts GetMethodID calls through a copy of the JNI function table placed in front of the VM's.
#include "CountingEnv.h"

#include <atomic>
#include <cstring>

namespace {

using GetMethodIDFunction = jmethodID(JNICALL*)(JNIEnv*, jclass, const char*, const char*);

std::atomic<GetMethodIDFunction> vmGetMethodID{nullptr};
std::atomic<const char*> countedName{nullptr};
std::atomic<int> calls{0};

jmethodID JNICALL countingGetMethodID(JNIEnv* env, jclass cls, const char* name, const char* signature)
{
    const char* wanted = countedName.load();
    if (wanted != nullptr && name != nullptr && std::strcmp(name, wanted) == 0) {
        calls.fetch_add(1);
    }
    return vmGetMethodID.load()(env, cls, name, signature);
}

} // namespace

CountingEnv::CountingEnv(JNIEnv* env, const char* methodName)
    : env_(env), original_(env->functions), table_(*env->functions)
{
    vmGetMethodID.store(original_->GetMethodID);
    countedName.store(methodName);
    table_.GetMethodID = &countingGetMethodID;
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

void CountingEnv::reset()
{
    calls.store(0);
}
