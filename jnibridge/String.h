// NUL-terminated text in a copy-on-write buffer that is wiped when its last
// holder goes. Text is bytes: modified UTF-8 from Java passes through as is.
#ifndef ORV_JNIBRIDGE_STRING_H
#define ORV_JNIBRIDGE_STRING_H

#include "jnibridge/Array.h"

namespace JNIBridge {

class String : public Array<char> {
public:
    String();
    explicit String(unsigned int n);
    String(const char* text);
    String(const char* data, unsigned int begin, unsigned int end);
    String(const String& other) = default;
    String& operator=(const String& other) = default;

    String& append(const char* text);
    String& append(const String& text);
    // Numbers are written as signed 32-bit decimal, as every message shows them.
    String& append(int value);
    String& append(long value);

    String operator+(const String& other) const;
    String operator+(const char* other) const;

    const char* c_str() const noexcept { return data(); }

private:
    String& appendBytes(const char* text, unsigned int n);
};

} // namespace JNIBridge

#endif
