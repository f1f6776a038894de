// One Java object as the host models it. Which members are used depends on
// the class: text for strings and throwable messages, bytes for byte[],
// boolean[] and byte buffers, items for lists, fields for the constructed
// token-info and object instances, target for java.lang.Class objects.
#ifndef ORV_TESTS_JNIHOST_HOSTOBJECT_H
#define ORV_TESTS_JNIHOST_HOSTOBJECT_H

#include "HostClasses.h"

#include <jni.h>

#include <string>
#include <vector>

struct HostObject;

struct HostField {
    char type = 'I'; // 'I', 'Z' or 'L'
    jint i = 0;
    bool z = false;
    HostObject* l = nullptr;
};

struct HostObject {
    const HostClass* cls = nullptr;
    std::u16string text;
    bool hasText = false; // a throwable's message may be null
    std::vector<unsigned char> bytes;
    bool direct = false;            // byte buffers
    std::vector<HostObject*> items; // java.util.LinkedList
    std::vector<HostField> fields;  // constructor arguments, in order
    const HostClass* target = nullptr;
};

#endif
