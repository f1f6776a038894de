// The one-line text of a Java value that both runners write into the
// transcript; the JUnit runner renders the same values the same way.
#ifndef ORV_TESTS_JNIHOST_OBJECTRENDERER_H
#define ORV_TESTS_JNIHOST_OBJECTRENDERER_H

#include "HostObject.h"

#include <string>

class ObjectRenderer {
public:
    // A Java string literal: \\ \" \n \t escaped, other characters outside
    // printable ASCII as \uXXXX.
    static std::string quote(const std::u16string& text);
    static std::string render(const HostObject* object);
    static std::string renderThrowable(const HostObject* throwable);

private:
    static std::string renderField(const HostField& field);
};

#endif
