// The library's load hook: opens the diagnostic log, records the VM and binds every native.
#include "jnibridge/DiagnosticLog.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/LogSink.h"
#include "jnibridge/RegistrationTable.h"

#include <jni.h>

#include <string>

using JNIBridge::DiagnosticLog;
using JNIBridge::LogSink;
using JNIBridge::RegistrationTable;

namespace {

const char* const kLogVariable = "ORVNATIVE_LOG";

// Read once, before any native is bound: the bound natives depend on it.
void openDiagnosticLog() noexcept
{
    try {
        std::string destination;
        if (!LogSink::readVariable(kLogVariable, destination)) {
            return;
        }
        DiagnosticLog::open(destination.c_str());
        if (DiagnosticLog::enabled()) {
            DiagnosticLog::write("library loaded, logging to " + destination);
        }
    } catch (...) {
        // No memory for the name: the library loads without a log.
    }
}

} // namespace

JNIEXPORT jint JNICALL JNI_OnLoad(JavaVM* vm, void* /*reserved*/)
{
    void* env = nullptr;
    if (vm == nullptr || vm->GetEnv(&env, JNI_VERSION_1_4) != JNI_OK || env == nullptr) {
        return JNI_ERR;
    }
    openDiagnosticLog();
    JNIEnv* jni = static_cast<JNIEnv*>(env);
    for (std::size_t i = 0; i < RegistrationTable::kBeforeVMCount; ++i) {
        RegistrationTable::registerClass(jni, *RegistrationTable::kBeforeVM[i]);
    }
    JNIHelper::setJavaVM(vm);
    for (std::size_t i = 0; i < RegistrationTable::kAfterVMCount; ++i) {
        RegistrationTable::registerClass(jni, *RegistrationTable::kAfterVM[i]);
    }
    return JNI_VERSION_1_4;
}
