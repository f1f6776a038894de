// Registry text back to Java. Names and data are ANSI bytes of unknown
// encoding and may be arbitrary binary; NewStringUTF must only ever see
// well-formed modified UTF-8, so anything else is decoded here.
#ifndef ORV_REGISTRY_JAVATEXT_H
#define ORV_REGISTRY_JAVATEXT_H

#include <jni.h>

#include <string>

namespace RegistryBridge {

class JavaText {
public:
    // A new Java string, or null with the JVM's exception pending.
    static jstring toJava(JNIEnv* env, const std::string& bytes);

    // True when NewStringUTF can take the bytes unchanged: ASCII and the
    // one- to three-byte sequences of (modified) UTF-8, no NUL byte.
    static bool isModifiedUtf8(const std::string& bytes);

    // UTF-16 for the JVM: standard UTF-8 when the bytes are well-formed
    // UTF-8, else each byte as the character of the same number (Latin-1).
    static std::u16string toUtf16(const std::string& bytes);
};

} // namespace RegistryBridge

#endif
