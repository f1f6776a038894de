// Tests guardNative: every C++ exception is caught and turned into the Java exception meant.
#include "jnibridge/JNIException.h"
#include "jnibridge/NativeGuard.h"

#include <gtest/gtest.h>

#include <jni.h>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

using namespace JNIBridge;

namespace {

using Guarded = std::pair<jint, std::string>;

// Without a VM the guard still catches, and the raise it attempts reports
// its message on stderr: that line shows which Java exception was meant.
template <class Body>
Guarded guarded(Body body)
{
    testing::internal::CaptureStderr();
    const jint result = guardNative<jint>(0, body);
    return {result, testing::internal::GetCapturedStderr()};
}

} // namespace

TEST(NativeGuard, PassesTheBodysResultThrough)
{
    EXPECT_EQ(guarded([] { return 7; }), Guarded(7, ""));
}

TEST(NativeGuard, AllocationFailureBecomesOutOfMemoryAndTheZeroValue)
{
    EXPECT_EQ(guarded([]() -> jint { throw std::bad_alloc(); }),
              Guarded(0, "Could not throw the exception: Native memory exhausted\n"));
}

TEST(NativeGuard, OtherExceptionsBecomeErrorsNamingTheFailure)
{
    EXPECT_EQ(guarded([]() -> jint { throw std::runtime_error("broken"); }),
              Guarded(0, "Could not throw the exception: Unhandled native failure - broken\n"));
    EXPECT_EQ(guarded([]() -> jint { throw JNIException("JNIBridge text"); }),
              Guarded(0, "Could not throw the exception: Unhandled native failure - JNIBridge text\n"));
    EXPECT_EQ(guarded([]() -> jint { throw 5; }),
              Guarded(0, "Could not throw the exception: Unhandled native failure - unknown exception\n"));
}

TEST(NativeGuard, ReturnsTheZeroOfEveryReturnType)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(guardNative<jobject>(nullptr, []() -> jobject { throw 1; }), nullptr);
    EXPECT_EQ(guardNative<jboolean>(JNI_FALSE, []() -> jboolean { throw 1; }), JNI_FALSE);
    EXPECT_EQ(guardNative<jlong>(0, []() -> jlong { throw 1; }), 0);
    bool ran = false;
    guardNative([&ran] {
        ran = true;
        throw std::logic_error("void body");
    });
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ran);
    EXPECT_NE(err.find("Unhandled native failure - void body"), std::string::npos) << err;
}

TEST(NativeGuard, IsNoexcept)
{
    auto body = [] { return 1; };
    static_assert(noexcept(guardNative<int>(0, body)), "the guard must not let anything escape");
    static_assert(noexcept(guardNative(body)), "the void guard must not let anything escape");
    SUCCEED();
}
