// The message of the exception a call throws, for the JNIBridge suites.
#ifndef ORV_TESTS_JNIBRIDGE_THROWN_H
#define ORV_TESTS_JNIBRIDGE_THROWN_H

#include <string>

// Anything but an E escapes and fails the test.
template <class E, class Call>
std::string thrownMessage(Call call)
{
    try {
        call();
    } catch (const E& e) {
        return e.getMessage().c_str();
    }
    return "(nothing thrown)";
}

#endif
