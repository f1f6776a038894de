// Copying a Java string out as modified UTF-8 for the registry's ANSI calls.
#include "registry/JavaStringCopy.h"

#include "common/Exception.h"

namespace Common {

JavaStringCopy::JavaStringCopy(JNIEnv* env, jstring text) : bytes_(), isNull_(text == nullptr)
{
    if (isNull_) {
        return;
    }
    const jsize utfLength = env->GetStringUTFLength(text);
    bytes_.assign(static_cast<std::size_t>(utfLength) + 1, '\0');
    env->GetStringUTFRegion(text, 0, env->GetStringLength(text), bytes_.data());
    if (env->ExceptionCheck()) {
        // The pending Java exception says what went wrong; it reaches Java as is.
        throw Exception("JavaStringCopy::JavaStringCopy(JNIEnv*, jstring) - GetStringUTFRegion failed");
    }
}

} // namespace Common
