// P11MockControl.h - header-only C++ helper that loads the orvp11mock module by
// path at run time and resolves its mock_* control functions (P11Mock.h).
//
// Linux: dlopen(path, RTLD_NOW) / dlsym; link with ${CMAKE_DL_LIBS} (the CMake
//        target orvp11mock_control carries it).
// win32: LoadLibraryA(path) / GetProcAddress; tests pass the bare file name
//        "orvp11mock.dll", found in the exe's directory.
//
// The module is loaded once per process whatever the path spelling (the loader
// matches the file), so the control functions act on the same instance the
// bridge loaded or will load by that path. The helper never unloads the module:
// a PKCS#11 module's state must outlive any one test fixture.
//
//   P11MockControl mock(P11MOCK_MODULE_PATH);
//   mock.reset();
//   mock.fail("C_GetSlotList", 0x150 /*CKR_BUFFER_TOO_SMALL*/, 2);
//   ... drive the bridge ...
//   std::vector<std::string> lines = mock.logLines();
//
// Each member function pointer has the name of the control function without
// the "mock_" prefix and the same signature. Construction throws
// std::runtime_error when the module or any control function is missing.
#ifndef ORV_P11MOCKCONTROL_H
#define ORV_P11MOCKCONTROL_H

#include "P11Mock.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

// X-macro: (name, return type, parameter list)
#define P11MOCK_CONTROL_FUNCTIONS(X)                                                                                   \
    X(reset, void, (void))                                                                                             \
    X(is_initialized, int, (void))                                                                                     \
    X(set_initialized, void, (int))                                                                                    \
    X(set_token_present, int, (unsigned long, int))                                                                    \
    X(set_auto_slot_events, void, (int))                                                                               \
    X(queue_slot_event, void, (unsigned long))                                                                         \
    X(pending_slot_events, unsigned long, (void))                                                                      \
    X(waiting_count, unsigned long, (void))                                                                            \
    X(set_token_info, int, (unsigned long, const char*, const char*, const char*, const char*))                        \
    X(set_token_label, int, (unsigned long, const void*, unsigned long))                                               \
    X(set_token_flags, int, (unsigned long, unsigned long))                                                            \
    X(get_token_flags, unsigned long, (unsigned long))                                                                 \
    X(set_removable, int, (unsigned long, int))                                                                        \
    X(set_user_pin, int, (unsigned long, const char*, unsigned long))                                                  \
    X(set_so_pin, int, (unsigned long, const char*, unsigned long))                                                    \
    X(get_user_pin, long, (unsigned long, char*, size_t))                                                              \
    X(get_so_pin, long, (unsigned long, char*, size_t))                                                                \
    X(get_token_label, long, (unsigned long, char*, size_t))                                                           \
    X(get_login_state, int, (unsigned long))                                                                           \
    X(session_count, unsigned long, (unsigned long))                                                                   \
    X(set_next_session_handle, void, (unsigned long))                                                                  \
    X(set_next_object_handle, void, (unsigned long))                                                                   \
    X(set_removed_session_rv, void, (unsigned long))                                                                   \
    X(add_object, unsigned long, (unsigned long, const void*, unsigned long))                                          \
    X(remove_object, int, (unsigned long))                                                                             \
    X(object_exists, int, (unsigned long))                                                                             \
    X(object_count, unsigned long, (unsigned long))                                                                    \
    X(get_attribute, long, (unsigned long, unsigned long, void*, size_t))                                              \
    X(set_attribute, int, (unsigned long, unsigned long, const void*, unsigned long))                                  \
    X(remove_attribute, int, (unsigned long, unsigned long))                                                           \
    X(fail, int, (const char*, unsigned long, unsigned long))                                                          \
    X(set_empty_entries, int, (const char*))                                                                           \
    X(clear_faults, void, (void))                                                                                      \
    X(set_call_delay, int, (const char*, unsigned long))                                                               \
    X(call_count, unsigned long, (const char*))                                                                        \
    X(set_extra_reported_length, void, (unsigned long))                                                                \
    X(allow_reinit, void, (int))                                                                                       \
    X(set_require_login, void, (int))                                                                                  \
    X(log_clear, void, (void))                                                                                         \
    X(log_copy, size_t, (char*, size_t))                                                                               \
    X(log_line_count, unsigned long, (void))                                                                           \
    X(log_enable, void, (int))                                                                                         \
    X(set_single_threaded, void, (int))                                                                                \
    X(overlap_count, unsigned long, (void))

class P11MockControl {
public:
#define P11MOCK_DECLARE_MEMBER(name, ret, params) ret(P11MOCK_CALL* name) params = nullptr;
    P11MOCK_CONTROL_FUNCTIONS(P11MOCK_DECLARE_MEMBER)
#undef P11MOCK_DECLARE_MEMBER

    explicit P11MockControl(const std::string& modulePath) : path_(modulePath)
    {
#ifdef _WIN32
        handle_ = reinterpret_cast<void*>(LoadLibraryA(modulePath.c_str()));
        if (!handle_)
            throw std::runtime_error("P11MockControl: LoadLibraryA failed for " + modulePath);
#else
        handle_ = dlopen(modulePath.c_str(), RTLD_NOW);
        if (!handle_) {
            const char* e = dlerror();
            throw std::runtime_error("P11MockControl: dlopen failed for " + modulePath + ": " + (e ? e : "?"));
        }
#endif
#define P11MOCK_RESOLVE_MEMBER(name, ret, params) resolve(name, "mock_" #name);
        P11MOCK_CONTROL_FUNCTIONS(P11MOCK_RESOLVE_MEMBER)
#undef P11MOCK_RESOLVE_MEMBER
    }

    // The module stays loaded on purpose (see above).
    ~P11MockControl() = default;
    P11MockControl(const P11MockControl&) = delete;
    P11MockControl& operator=(const P11MockControl&) = delete;

    // Any exported symbol of the module, e.g. "C_GetFunctionList"; nullptr if absent.
    void* symbol(const char* name) const
    {
#ifdef _WIN32
        return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
        return dlsym(handle_, name);
#endif
    }

    // The whole call log.
    std::string log() const
    {
        size_t need = log_copy(nullptr, 0);
        std::vector<char> buf(need + 64); // room for lines logged meanwhile
        log_copy(buf.data(), buf.size());
        return std::string(buf.data());
    }

    // The call log split into lines (without '\n').
    std::vector<std::string> logLines() const
    {
        std::vector<std::string> lines;
        std::string all = log();
        size_t start = 0;
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == '\n') {
                lines.push_back(all.substr(start, i - start));
                start = i + 1;
            }
        if (start < all.size())
            lines.push_back(all.substr(start));
        return lines;
    }

    // Only the lines of one function, e.g. "C_Sign" (matches "C_Sign " but not "C_SignInit").
    std::vector<std::string> logLinesOf(const std::string& function) const
    {
        std::vector<std::string> out;
        for (auto& l : logLines())
            if (l.compare(0, function.size() + 1, function + " ") == 0)
                out.push_back(l);
        return out;
    }

    // Just the function names, in call order.
    std::vector<std::string> calledFunctions() const
    {
        std::vector<std::string> out;
        for (auto& l : logLines())
            out.push_back(l.substr(0, l.find(' ')));
        return out;
    }

    // Lowercase hex of bytes, as the log writes PINs, labels and seeds.
    static std::string hex(const void* data, size_t len)
    {
        static const char digits[] = "0123456789abcdef";
        const unsigned char* b = static_cast<const unsigned char*>(data);
        std::string s;
        for (size_t i = 0; i < len; ++i) {
            s += digits[b[i] >> 4];
            s += digits[b[i] & 15];
        }
        return s;
    }
    static std::string hex(const std::string& bytes)
    {
        return hex(bytes.data(), bytes.size());
    }

private:
    template <typename F>
    void resolve(F& fn, const char* name)
    {
        void* p = symbol(name);
        if (!p)
            throw std::runtime_error(std::string("P11MockControl: missing export ") + name + " in " + path_);
        fn = reinterpret_cast<F>(p);
    }

    std::string path_;
    void* handle_ = nullptr;
};

#endif // ORV_P11MOCKCONTROL_H
