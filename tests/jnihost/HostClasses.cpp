// The Java classes the host VM models: the five with natives and the objects they construct.
#include "HostClasses.h"

#include "../library/ExpectedNatives.h"

#include <algorithm>
#include <stdexcept>

namespace {

const char* const kStringConstructor = "(Ljava/lang/String;)V";
const char* const kTokenInfoConstructor =
    "(Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;Ljava/lang/String;IZZ)V";
const char* const kObjectConstructor = "(I[B)V";

} // namespace

bool HostClass::isSubclassOf(const HostClass* other) const
{
    return this == other || (super != nullptr && super->isSubclassOf(other));
}

bool HostClass::isThrowable() const
{
    return name == "java/lang/Throwable" || (super != nullptr && super->isThrowable());
}

const HostMethod* HostClass::findMethod(const std::string& methodName, const std::string& methodSignature) const
{
    for (const HostClass* c = this; c != nullptr; c = c->super) {
        for (const HostMethod& m : c->methods) {
            if (!m.isNative && m.name == methodName && m.signature == methodSignature) {
                return &m;
            }
        }
        if (methodName == "<init>") {
            break; // constructors are not inherited
        }
    }
    return nullptr;
}

const HostMethod* HostClass::findNative(const std::string& methodName, const std::string& methodSignature) const
{
    const auto found = std::find_if(methods.begin(), methods.end(), [&](const HostMethod& m) {
        return m.isNative && m.name == methodName && m.signature == methodSignature;
    });
    return found != methods.end() ? &*found : nullptr;
}

std::string HostClass::javaName() const
{
    std::string dotted = name;
    std::replace(dotted.begin(), dotted.end(), '/', '.');
    return dotted;
}

HostClasses::HostClasses()
{
    add("java/lang/Object", "");
    add("java/lang/Class", "java/lang/Object");
    add("java/lang/String", "java/lang/Object");
    HostClass& throwable = add("java/lang/Throwable", "java/lang/Object");
    throwable.methods.push_back({&throwable, "<init>", kStringConstructor, false});
    throwable.methods.push_back({&throwable, "toString", "()Ljava/lang/String;", false});
    throwable.methods.push_back({&throwable, "getMessage", "()Ljava/lang/String;", false});
    addThrowable("java/lang/Exception", "java/lang/Throwable");
    addThrowable("java/lang/Error", "java/lang/Throwable");
    addThrowable("java/lang/RuntimeException", "java/lang/Exception");
    addThrowable("java/lang/IllegalArgumentException", "java/lang/RuntimeException");
    addThrowable("java/lang/IllegalStateException", "java/lang/RuntimeException");
    addThrowable("java/lang/NullPointerException", "java/lang/RuntimeException");
    addThrowable("java/lang/IndexOutOfBoundsException", "java/lang/RuntimeException");
    addThrowable("java/lang/ArrayIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException");
    addThrowable("java/lang/StringIndexOutOfBoundsException", "java/lang/IndexOutOfBoundsException");
    addThrowable("java/lang/NegativeArraySizeException", "java/lang/RuntimeException");
    addThrowable("java/lang/LinkageError", "java/lang/Error");
    addThrowable("java/lang/NoClassDefFoundError", "java/lang/LinkageError");
    addThrowable("java/lang/IncompatibleClassChangeError", "java/lang/LinkageError");
    addThrowable("java/lang/NoSuchMethodError", "java/lang/IncompatibleClassChangeError");
    addThrowable("java/lang/VirtualMachineError", "java/lang/Error");
    addThrowable("java/lang/OutOfMemoryError", "java/lang/VirtualMachineError");
    addThrowable("java/io/IOException", "java/lang/Exception");
    addThrowable("java/io/EOFException", "java/io/IOException");
    addThrowable("java/io/InterruptedIOException", "java/io/IOException");
    addThrowable("java/io/FileNotFoundException", "java/io/IOException");
    addThrowable("java/security/GeneralSecurityException", "java/lang/Exception");
    addThrowable("java/security/KeyStoreException", "java/security/GeneralSecurityException");
    addThrowable("orvane/clapi/crypto/PKCS11Exception", "java/lang/Exception");

    HostClass& tokenInfo = add("orvane/clapi/crypto/PKCS11TokenInfo", "java/lang/Object");
    tokenInfo.methods.push_back({&tokenInfo, "<init>", kTokenInfoConstructor, false});
    HostClass& object = add("orvane/clapi/crypto/PKCS11Object", "java/lang/Object");
    object.methods.push_back({&object, "<init>", kObjectConstructor, false});

    add("java/util/AbstractCollection", "java/lang/Object");
    add("java/util/AbstractList", "java/util/AbstractCollection");
    add("java/util/AbstractSequentialList", "java/util/AbstractList");
    HostClass& list = add("java/util/LinkedList", "java/util/AbstractSequentialList");
    list.methods.push_back({&list, "<init>", "()V", false});
    list.methods.push_back({&list, "add", "(Ljava/lang/Object;)Z", false});
    add("java/nio/Buffer", "java/lang/Object");
    add("java/nio/ByteBuffer", "java/nio/Buffer");
    add("[B", "java/lang/Object");
    add("[Z", "java/lang/Object");

    for (const char* declaring : ExpectedNatives::classes) {
        add(declaring, "java/lang/Object");
    }
    for (const ExpectedNative& row : ExpectedNatives::rows) {
        HostClass& declaring = const_cast<HostClass&>(*require(row.className));
        declaring.methods.push_back({&declaring, row.name, row.signature, true});
    }
}

HostClass& HostClasses::add(const std::string& name, const std::string& super)
{
    classes_.emplace_back();
    HostClass& c = classes_.back();
    c.name = name;
    c.super = super.empty() ? nullptr : require(super);
    return c;
}

void HostClasses::addThrowable(const std::string& name, const std::string& super)
{
    HostClass& c = add(name, super);
    c.methods.push_back({&c, "<init>", kStringConstructor, false});
}

const HostClass* HostClasses::find(const std::string& name) const
{
    const auto found =
        std::find_if(classes_.begin(), classes_.end(), [&](const HostClass& c) { return c.name == name; });
    return found != classes_.end() ? &*found : nullptr;
}

const HostClass* HostClasses::require(const std::string& name) const
{
    const HostClass* c = find(name);
    if (c == nullptr) {
        throw std::logic_error("jnihost: no class " + name);
    }
    return c;
}
