// The Java classes the host knows: the five classes that declare natives, the
// classes the natives construct or throw, and their superclasses. Each class
// carries exactly the constructors and methods a JVM would find for the
// library's lookups; anything else is refused as a JVM refuses it.
#ifndef ORV_TESTS_JNIHOST_HOSTCLASSES_H
#define ORV_TESTS_JNIHOST_HOSTCLASSES_H

#include <deque>
#include <string>
#include <vector>

struct HostClass;

struct HostMethod {
    const HostClass* owner = nullptr;
    std::string name;
    std::string signature;
    bool isNative = false;
};

struct HostClass {
    std::string name; // JNI internal name, e.g. "java/io/IOException"
    const HostClass* super = nullptr;
    std::deque<HostMethod> methods;

    bool isSubclassOf(const HostClass* other) const;
    bool isThrowable() const;
    // A constructor or method declared by this class or, except for
    // constructors, inherited from a superclass.
    const HostMethod* findMethod(const std::string& methodName, const std::string& methodSignature) const;
    const HostMethod* findNative(const std::string& methodName, const std::string& methodSignature) const;
    std::string javaName() const;
};

class HostClasses {
public:
    HostClasses();
    HostClasses(const HostClasses&) = delete;
    HostClasses& operator=(const HostClasses&) = delete;

    const HostClass* find(const std::string& name) const;
    const HostClass* require(const std::string& name) const;

private:
    HostClass& add(const std::string& name, const std::string& super);
    void addThrowable(const std::string& name, const std::string& super);

    std::deque<HostClass> classes_;
};

#endif
