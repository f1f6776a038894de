// The classes whose natives the load hook binds, in order, and the binding of one class.
#include "jnibridge/RegistrationTable.h"

#include "jnibridge/DiagnosticLog.h"

namespace JNIBridge {

namespace {

// With the log on, the logged twin is bound and learns its Java name here.
void* boundFunction(const NativeClassRows& rows, const NativeMethodRow& row)
{
    if (!DiagnosticLog::enabled()) {
        return row.entry.function;
    }
    row.entry.name->className = rows.className;
    row.entry.name->method = row.name;
    return row.entry.logged;
}

} // namespace

const NativeClassRows* const RegistrationTable::kBeforeVM[] = {
    &windowsRegistryNatives,
    &capiTokenNatives,
};
const std::size_t RegistrationTable::kBeforeVMCount = sizeof kBeforeVM / sizeof kBeforeVM[0];

const NativeClassRows* const RegistrationTable::kAfterVM[] = {
    &pkcs11ModuleNatives,
    &pkcs11SlotNatives,
    &incomingNativeUtilsNatives,
};
const std::size_t RegistrationTable::kAfterVMCount = sizeof kAfterVM / sizeof kAfterVM[0];

void RegistrationTable::registerClass(JNIEnv* env, const NativeClassRows& rows)
{
    jclass cls = env->FindClass(rows.className);
    if (cls == nullptr) {
        env->ExceptionClear();
        return;
    }
    for (std::size_t i = 0; i < rows.count; ++i) {
        JNINativeMethod method;
        method.name = const_cast<char*>(rows.rows[i].name);
        method.signature = const_cast<char*>(rows.rows[i].signature);
        method.fnPtr = boundFunction(rows, rows.rows[i]);
        if (env->RegisterNatives(cls, &method, 1) != JNI_OK) {
            // A Java class without this method: the remaining rows still bind.
            env->ExceptionClear();
        }
    }
    env->DeleteLocalRef(cls);
}

} // namespace JNIBridge
