// Tests the JNI value wrappers, signatures, argument lists and Java exception raising.
#include "jnibridge/ByteArray.h"
#include "jnibridge/JArguments.h"
#include "jnibridge/JBoolean.h"
#include "jnibridge/JByteArray.h"
#include "jnibridge/JClass.h"
#include "jnibridge/JInt.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JObject.h"
#include "jnibridge/JProxy.h"
#include "jnibridge/JSignature.h"
#include "jnibridge/JString.h"
#include "jnibridge/JThrowable.h"
#include "jnibridge/JavaExceptions.h"
#include "jnibridge/String.h"
#include "Thrown.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <utility>
#include <vector>

using namespace JNIBridge;

TEST(JValue, PrimitivesFillOnlyTheirOwnBytes)
{
    EXPECT_EQ(JInt(-1).getjValue().j, static_cast<jlong>(0xFFFFFFFFLL));
    EXPECT_EQ(JInt(42).getjValue().i, 42);
    EXPECT_EQ(JBoolean(true).getjValue().j, 1);
    EXPECT_EQ(JBoolean(false).getjValue().j, 0);
    EXPECT_EQ(JObject().getjValue().j, 0);
}

TEST(JClass, DescriptorTextsAndCopies)
{
    JClass named("orvane/clapi/crypto/PKCS11TokenInfo");
    EXPECT_STREQ(named.getName().c_str(), "orvane/clapi/crypto/PKCS11TokenInfo");
    EXPECT_STREQ(named.getSignature().c_str(), "Lorvane/clapi/crypto/PKCS11TokenInfo;");
    JClass copy(named);
    EXPECT_STREQ(copy.getSignature().c_str(), "Lorvane/clapi/crypto/PKCS11TokenInfo;");
    EXPECT_STREQ(JClass::byteType().getSignature().c_str(), "B");
    EXPECT_STREQ(JClass::voidType().getName().c_str(), "void");
}

TEST(JClass, LookupWithoutAVMFailsWithTheHelperMessage)
{
    JClass cls("java/lang/String");
    EXPECT_EQ(thrownMessage<JNIException>([&] { cls.getClass(); }),
              "JNIHelper::getJavaVM() - There is no attached JVM");
}

TEST(JSignature, ArgumentsInOrderThenVoid)
{
    JString text(static_cast<jstring>(nullptr));
    JInt number(0);
    JBoolean flag(false);
    JByteArray bytes(static_cast<jbyteArray>(nullptr));
    JSignature<JVoid> signature;
    signature.add(text.typeClass()).add(number.typeClass()).add(flag.typeClass()).add(bytes.typeClass());
    EXPECT_STREQ(signature.getSignature().c_str(), "(Ljava/lang/String;IZ[B)V");
    EXPECT_STREQ(JSignature<JVoid>().getSignature().c_str(), "()V");
}

TEST(JArguments, ValuesInOrderAndEmptyList)
{
    JInt first(1);
    JBoolean second(true);
    JInt third(3);
    JArguments arguments;
    arguments.add(first).add(second).add(third);
    const std::vector<jvalue> values = arguments.toJValueArray();
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0].i, 1);
    EXPECT_EQ(values[1].z, JNI_TRUE);
    EXPECT_EQ(values[2].i, 3);
    EXPECT_TRUE(JArguments().toJValueArray().empty());
}

TEST(Wrappers, NullReferencesReadAsEmptyWithoutTouchingJNI)
{
    EXPECT_EQ(JString(static_cast<jstring>(nullptr)).toString().length(), 0u);
    EXPECT_STREQ(JString(static_cast<jstring>(nullptr)).toString().c_str(), "");
    EXPECT_EQ(JByteArray(static_cast<jbyteArray>(nullptr)).toByteArray().length(), 0u);
    JObject empty;
    JObject copy(empty);
    copy = empty;
    EXPECT_EQ(copy.getGlobalReference(), nullptr);
}

TEST(Wrappers, TypeDescriptorsAreProcessWide)
{
    JString a(static_cast<jstring>(nullptr));
    JString b(static_cast<jstring>(nullptr));
    EXPECT_EQ(&a.typeClass(), &b.typeClass());
    EXPECT_STREQ(JObject().typeClass().getSignature().c_str(), "Ljava/lang/Object;");
    EXPECT_STREQ(JThrowable(static_cast<jthrowable>(nullptr)).typeClass().getName().c_str(), "java/lang/Throwable");
    JByteArray bytes(static_cast<jbyteArray>(nullptr));
    EXPECT_STREQ(bytes.typeClass().getName().c_str(), "[byte");
    EXPECT_STREQ(bytes.typeClass().getSignature().c_str(), "[B");
    JProxy proxy(nullptr, JClass("orvane/clapi/crypto/PKCS11Object"));
    EXPECT_STREQ(proxy.typeClass().getSignature().c_str(), "Lorvane/clapi/crypto/PKCS11Object;");
    JProxy proxyCopy(proxy);
    EXPECT_NE(&proxy.typeClass(), &proxyCopy.typeClass());
}

// Many threads ask for the descriptors at once; every one must see the same
// fully built object.
TEST(Wrappers, FirstUseOfDescriptorsFromManyThreads)
{
    constexpr int threads = 8;
    std::atomic<int> ready{0};
    std::vector<std::array<const JClass*, 3>> seen(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < threads) {
                std::this_thread::yield();
            }
            seen[t] = {&JInt(0).typeClass(), &JBoolean(false).typeClass(),
                       &JByteArray(static_cast<jbyteArray>(nullptr)).typeClass()};
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    for (int t = 0; t < threads; ++t) {
        EXPECT_EQ(seen[t], seen[0]) << "thread " << t;
    }
    EXPECT_STREQ(seen[0][0]->getSignature().c_str(), "I");
    EXPECT_STREQ(seen[0][1]->getSignature().c_str(), "Z");
    EXPECT_STREQ(seen[0][2]->getSignature().c_str(), "[B");
}

TEST(JavaExceptions, CheckWithoutAVMReportsTheHelperFailure)
{
    EXPECT_EQ(thrownMessage<JNIException>([] { checkJavaException("context", String()); }),
              "JNIHelper::getJavaVM() - There is no attached JVM");
}

TEST(JavaExceptions, RaiseWithoutAVMReportsOnStderrAndNeverThrows)
{
    static_assert(noexcept(raiseJavaException(std::declval<const String&>(), std::declval<const String&>())),
                  "raising must not throw");
    testing::internal::CaptureStderr();
    raiseJavaException("java/lang/IllegalStateException", "no VM here");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not throw the exception: no VM here\n");
}
