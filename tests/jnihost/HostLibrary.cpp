// Loads the library as a Java VM does and runs its load hook.
#include "HostLibrary.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

using OnLoad = jint(JNICALL*)(JavaVM*, void*);

// The hook's exported name: stdcall-decorated on 32-bit Windows only.
#if defined(_WIN32) && !defined(_WIN64)
const char* const kOnLoadName = "_JNI_OnLoad@8";
#else
const char* const kOnLoadName = "JNI_OnLoad";
#endif

OnLoad loadHook(const std::string& path)
{
#ifdef _WIN32
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) {
        throw std::runtime_error("LoadLibraryA(" + path + ") failed, error " + std::to_string(GetLastError()));
    }
    void* hook = reinterpret_cast<void*>(GetProcAddress(library, kOnLoadName));
#else
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        throw std::runtime_error("dlopen(" + path + ") failed: " + dlerror());
    }
    void* hook = dlsym(library, kOnLoadName);
#endif
    if (hook == nullptr) {
        throw std::runtime_error(path + " exports no " + kOnLoadName);
    }
    return reinterpret_cast<OnLoad>(hook);
}

} // namespace

HostLibrary::HostLibrary(const std::string& path, HostVM& vm) : vm_(vm)
{
    OnLoad hook = loadHook(path);
    vm.setActivity("JNI_OnLoad");
    vm.pushFrame();
    const jint version = hook(vm.vm(), nullptr);
    vm.requireAllReleased("JNI_OnLoad");
    vm.popFrame();
    if (vm.pendingException() != nullptr) {
        throw std::runtime_error("JNI_OnLoad left a " + vm.pendingException()->cls->javaName() + " pending");
    }
    if (version != JNI_VERSION_1_4) {
        throw std::runtime_error("JNI_OnLoad answered version " + std::to_string(version));
    }
}

const HostBinding& HostLibrary::binding(const std::string& qualifiedName) const
{
    const auto dot = qualifiedName.find('.');
    const std::string cls = qualifiedName.substr(0, dot);
    const std::string method = dot == std::string::npos ? std::string() : qualifiedName.substr(dot + 1);
    const HostBinding* found = nullptr;
    for (const HostBinding& b : vm_.bindings()) {
        const std::string& name = b.cls->name;
        if (name.substr(name.rfind('/') + 1) == cls && b.method->name == method) {
            if (found != nullptr) {
                throw std::runtime_error(qualifiedName + " was registered twice");
            }
            found = &b;
        }
    }
    if (found == nullptr) {
        throw std::runtime_error(qualifiedName + " was never registered");
    }
    return *found;
}
