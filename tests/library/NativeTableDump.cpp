// Prints the class tables for the JUnit test and the export checks:
// "natives" gives class, name and signature of every native; "exports x86" or
// "x64" the decorated name, entry function and its type in llvm-undname's
// words, in name-table order; "exports so" the exported entry functions.
#include "ExpectedNatives.h"
#include "capi/CapiTokenNatives.h"
#include "registry/Registry.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

namespace {

// A type as llvm-undname writes it in an MSVC-decorated name (jint is a long
// in the Windows jni_md.h); a type not named here fails the decoded check.
template <class T>
const char* msvcName()
{
    using std::is_same_v;
    return std::is_void_v<T>             ? "void"
           : is_same_v<T, JNIEnv*>       ? "struct JNIEnv_*"
           : is_same_v<T, jint>          ? "long"
           : is_same_v<T, jlong>         ? "__int64"
           : is_same_v<T, jboolean>      ? "unsigned char"
           : is_same_v<T, jclass>        ? "class _jclass*"
           : is_same_v<T, jstring>       ? "class _jstring*"
           : is_same_v<T, jbyteArray>    ? "class _jbyteArray*"
           : is_same_v<T, jbooleanArray> ? "class _jbooleanArray*"
           : is_same_v<T, jobject>       ? "class _jobject*"
                                         : "(a type the table printer does not name)";
}

template <class F>
struct Undecorated;

template <class R, class... A>
struct Undecorated<R(JNICALL*)(A...)> {
    // Qualified names here are static members: undname calls them public.
    static std::string of(const std::string& entry, bool x64)
    {
        std::string out = entry.find("::") != std::string::npos ? "public: static " : "";
        out += std::string(msvcName<R>()) + (x64 ? " __cdecl " : " __stdcall ") + entry + "(";
        const char* names[] = {msvcName<A>()...};
        for (std::size_t i = 0; i < sizeof...(A); ++i) {
            out += (i == 0 ? "" : ", ") + std::string(names[i]);
        }
        return out + ")";
    }
};

struct ExportedEntry {
    const char* entry;
    std::string (*of)(const std::string&, bool);
};

// Only these classes export; their entry functions are declared in headers.
#define ORV_EXPORTED(javaName, signature, function, text, x86, x64) {#function, &Undecorated<decltype(&function)>::of},
const ExportedEntry exportedEntries[] = {ORV_WINDOWS_REGISTRY_NATIVES(ORV_EXPORTED)
                                             ORV_CAPI_TOKEN_NATIVES(ORV_EXPORTED)};
#undef ORV_EXPORTED

std::string undecorated(const ExpectedNative& row, bool x64)
{
    for (const ExportedEntry& e : exportedEntries) {
        if (std::strcmp(e.entry, row.entry) == 0) {
            return e.of(row.entry, x64);
        }
    }
    return "(no type known for " + std::string(row.entry) + ")";
}

int printExports(const std::string& target)
{
    std::vector<std::string> lines;
    for (const ExpectedNative& row : ExpectedNatives::rows) {
        const bool x64 = target == "x64";
        const char* decorated = x64 ? row.x64 : row.x86;
        if (*decorated == '\0') {
            continue;
        }
        lines.push_back(target == "so" ? std::string(row.entry)
                                       : std::string(decorated) + "\t" + row.entry + "\t" + undecorated(row, x64));
    }
    // The linker writes the name table in byte order, and the .def numbers it so.
    std::sort(lines.begin(), lines.end());
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "natives" && argc == 2) {
        for (const ExpectedNative& row : ExpectedNatives::rows) {
            std::printf("%s %s %s\n", row.className, row.name, row.signature);
        }
        return 0;
    }
    const std::string target = argc == 3 ? argv[2] : "";
    if (mode == "exports" && (target == "x86" || target == "x64" || target == "so")) {
        return printExports(target);
    }
    std::fprintf(stderr, "usage: orv_native_table natives | exports x86|x64|so\n");
    return 2;
}
