// Tests the jnibridge exceptions' message texts and copies.
#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JNIHelper.h"
#include "jnibridge/String.h"
#include "Thrown.h"

#include <gtest/gtest.h>

#include <memory>

using namespace JNIBridge;

TEST(IndexOutOfBoundsException, ComposesPrefixIndexAndBounds)
{
    IndexOutOfBoundsException e("PKCS11Module::getSlot(unsigned int) - index ", 3, 0, -1);
    EXPECT_STREQ(e.getMessage().c_str(), "PKCS11Module::getSlot(unsigned int) - index '3' is out of bounds (0, -1)");
    IndexOutOfBoundsException array("Array<T>::operator[](unsigned int) - index ", 7, 0, 4);
    EXPECT_STREQ(array.getMessage().c_str(), "Array<T>::operator[](unsigned int) - index '7' is out of bounds (0, 4)");
}

TEST(Exception, CopyOwnsItsMessage)
{
    std::unique_ptr<Exception> first(new Exception(String("original")));
    Exception copy(*first);
    first.reset();
    EXPECT_STREQ(copy.getMessage().c_str(), "original");
}

TEST(JNIHelper, WithoutAVMBothCallsFailWithTheSameMessage)
{
    EXPECT_EQ(thrownMessage<JNIException>([] { JNIHelper::getJavaVM(); }),
              "JNIHelper::getJavaVM() - There is no attached JVM");
    try {
        JNIHelper::attachCurrentThread();
        FAIL();
    } catch (const JNIException& e) {
        EXPECT_STREQ(e.getMessage().c_str(), "JNIHelper::getJavaVM() - There is no attached JVM");
        EXPECT_EQ(e.getThrowable(), nullptr);
    }
}
