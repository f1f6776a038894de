// The exported registry natives called as a VM calls them, through a JNIEnv of
// the test's own and with no load hook run: they must copy and raise through
// the env they are given.
#include "TestRegistry.h"

#include "registry/Registry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <memory>
#include <string>

namespace {

// Just the functions the natives need; a call to any other slot crashes the test.
class FakeEnv {
public:
    FakeEnv()
    {
        std::memset(&table_, 0, sizeof table_);
        table_.GetStringLength = &length;
        table_.GetStringUTFLength = &length;
        table_.GetStringUTFRegion = &copy;
        table_.ExceptionCheck = &exceptionCheck;
        table_.NewStringUTF = &newStringUTF;
        table_.FindClass = &findClass;
        table_.IsAssignableFrom = &isAssignableFrom;
        table_.DeleteLocalRef = &deleteLocalRef;
        table_.ThrowNew = &throwNew;
        env_.functions = &table_;
        current_ = this;
    }
    ~FakeEnv() { current_ = nullptr; }
    FakeEnv(const FakeEnv&) = delete;
    FakeEnv& operator=(const FakeEnv&) = delete;

    JNIEnv* get() { return &env_; }
    jstring string(const std::string& utf)
    {
        strings_.push_back(utf);
        return reinterpret_cast<jstring>(&strings_.back());
    }
    static const std::string& text(jstring s) { return *reinterpret_cast<std::string*>(s); }

    bool failCopy = false;
    // The class of the Java exception pending, and the message ThrowNew gave.
    std::string pending;
    std::string message;

private:
    static jsize JNICALL length(JNIEnv*, jstring s) { return static_cast<jsize>(text(s).size()); }
    static void JNICALL copy(JNIEnv*, jstring s, jsize start, jsize count, char* out)
    {
        if (current_->failCopy) {
            current_->pending = "java/lang/StringIndexOutOfBoundsException";
            return;
        }
        std::memcpy(out, text(s).data() + start, static_cast<std::size_t>(count));
    }
    static jboolean JNICALL exceptionCheck(JNIEnv*) { return current_->pending.empty() ? JNI_FALSE : JNI_TRUE; }
    static jstring JNICALL newStringUTF(JNIEnv*, const char* utf) { return current_->string(utf); }
    static jclass JNICALL findClass(JNIEnv*, const char* name)
    {
        current_->classes_.emplace_back(name);
        return reinterpret_cast<jclass>(&current_->classes_.back());
    }
    static jboolean JNICALL isAssignableFrom(JNIEnv*, jclass, jclass) { return JNI_TRUE; }
    static void JNICALL deleteLocalRef(JNIEnv*, jobject) {}
    static jint JNICALL throwNew(JNIEnv*, jclass cls, const char* text)
    {
        current_->pending = *reinterpret_cast<std::string*>(cls);
        current_->message = text;
        return 0;
    }

    static inline FakeEnv* current_ = nullptr;
    JNINativeInterface_ table_;
    JNIEnv env_;
    std::deque<std::string> strings_;
    std::deque<std::string> classes_;
};

class RegistryNatives : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        registry_ = std::make_unique<TestRegistry>();
        registry_->addValue("Natives", "Greeting", REG_SZ, {'h', 'i', 0});
        registry_->publish();
    }
    static void TearDownTestSuite() { registry_.reset(); }

    FakeEnv env_;
    const jstring path_ = env_.string(TestRegistry::under("Natives"));

private:
    static inline std::unique_ptr<TestRegistry> registry_;
};

TEST_F(RegistryNatives, AnswerThroughTheirOwnEnvWithoutTheLoadHook)
{
    const jstring value = Registry::getValueString(env_.get(), nullptr, 2, path_, env_.string("Greeting"));
    ASSERT_NE(value, nullptr) << env_.pending << ": " << env_.message;
    EXPECT_EQ(FakeEnv::text(value), "hi");
    EXPECT_EQ(Registry::getKeyName(env_.get(), nullptr, 2, env_.string(TestRegistry::under("Nope")), 0), nullptr);
    EXPECT_EQ(env_.pending, "java/io/FileNotFoundException");
    EXPECT_EQ(env_.message.rfind("Could not open registry key.\nThe error code is: 2\n", 0), 0u) << env_.message;
}

TEST_F(RegistryNatives, AJavaExceptionFromTheCopyStaysPending)
{
    env_.failCopy = true;
    const jstring name = env_.string("Greeting");
    for (int native = 0; native < 3; ++native) {
        env_.pending.clear();
        const jstring result = native == 0   ? Registry::getKeyName(env_.get(), nullptr, 2, path_, 0)
                               : native == 1 ? Registry::getValueName(env_.get(), nullptr, 2, path_, 0)
                                             : Registry::getValueString(env_.get(), nullptr, 2, path_, name);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(env_.pending, "java/lang/StringIndexOutOfBoundsException") << native;
        EXPECT_EQ(env_.message, "") << native;
    }
}

} // namespace
