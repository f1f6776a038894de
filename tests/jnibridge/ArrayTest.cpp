// Tests SmartPointer, ByteArray and LongArray: sharing, bounds, allocation failure and wiping.
#include "jnibridge/ByteArray.h"
#include "jnibridge/LongArray.h"
#include "jnibridge/SmartPointer.h"
#include "jnibridge/String.h"
#include "Thrown.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <thread>
#include <vector>

using namespace JNIBridge;

namespace {

std::string bytes(const ByteArray& a)
{
    return std::string(a.data(), a.length());
}

} // namespace

TEST(SmartPointer, SharesOneCountAndReleasesOnce)
{
    static int released = 0;
    released = 0;
    {
        SmartPointer<int> a(new int(7), [](int* p) {
            ++released;
            delete p;
        });
        SmartPointer<int> b(a);
        SmartPointer<int> c;
        c = b;
        c = c;
        EXPECT_EQ(a.useCount(), 3);
        EXPECT_EQ(*c, 7);
    }
    EXPECT_EQ(released, 1);
    SmartPointer<int> empty;
    EXPECT_TRUE(empty.isNull());
    EXPECT_EQ(empty.useCount(), 0);
}

TEST(ByteArray, CopyOnWriteKeepsTheOriginalAndWritesInAFreshBuffer)
{
    const char raw[] = {1, 2, 3};
    ByteArray first(raw, 0, 3);
    ByteArray copy(first);
    const ByteArray& firstView = first;
    EXPECT_EQ(firstView.data(), static_cast<const ByteArray&>(copy).data());
    copy[1] = 9;
    EXPECT_EQ(first[1], 2);
    EXPECT_EQ(copy[1], 9);
    EXPECT_NE(static_cast<const ByteArray&>(first).data(), static_cast<const ByteArray&>(copy).data());
}

TEST(ByteArray, IndexChecksShowBounds)
{
    ByteArray three(3);
    EXPECT_EQ(thrownMessage<IndexOutOfBoundsException>([&] { three[3] = 1; }),
              "Array<T>::operator[](unsigned int) - index '3' is out of bounds (0, 2)");
    const ByteArray empty;
    EXPECT_EQ(thrownMessage<IndexOutOfBoundsException>([&] { (void)empty[0]; }),
              "Array<T>::operator[](unsigned int) - index '0' is out of bounds (0, -1)");
    EXPECT_NE(empty.data(), nullptr);
}

TEST(ByteArray, SubBytesChecksRangeAndRejectsNegatives)
{
    const char raw[] = {'a', 'b', 'c', 'd'};
    ByteArray all(raw, 0, 4);
    EXPECT_EQ(bytes(all.subBytes(0, 4)), "abcd");
    EXPECT_EQ(bytes(all.subBytes(1, 2)), "bc");
    EXPECT_EQ(all.subBytes(4, 0).length(), 0u);
    EXPECT_EQ(thrownMessage<IndexOutOfBoundsException>([&] { all.subBytes(0, 5); }),
              "ByteArray::subBytes(int, int) - offset + length '5' is out of bounds (0, 4)");
    EXPECT_THROW(all.subBytes(-1, 2), IndexOutOfBoundsException);
    EXPECT_THROW(all.subBytes(2, -1), IndexOutOfBoundsException);
    EXPECT_THROW(all.subBytes(0x7fffffff, 0x7fffffff), IndexOutOfBoundsException);
}

// The whole range shares the buffer until either side writes.
TEST(ByteArray, WholeSubBytesStaysIndependentOfItsSource)
{
    const char raw[] = {'a', 'b', 'c', 'd'};
    ByteArray all(raw, 0, 4);
    ByteArray whole = all.subBytes(0, 4);
    whole.data()[0] = 'x';
    EXPECT_EQ(bytes(whole), "xbcd");
    EXPECT_EQ(bytes(all), "abcd");
    ByteArray again = all.subBytes(0, 4);
    all.data()[3] = 'y';
    EXPECT_EQ(bytes(again), "abcd");
    EXPECT_EQ(bytes(all), "abcy");
}

TEST(ByteArray, HexStringIsUpperCaseWithoutSeparators)
{
    const char raw[] = {0x00, static_cast<char>(0xAB), static_cast<char>(0xFF)};
    EXPECT_STREQ(ByteArray(raw, 0, 3).toHexString().c_str(), "00ABFF");
    String empty = ByteArray().toHexString();
    EXPECT_EQ(empty.length(), 0u);
    EXPECT_STREQ(empty.c_str(), "");
}

TEST(ByteArray, HexTableIsSafeOnFirstUseFromManyThreads)
{
    const char raw[] = {0x12, 0x34};
    std::vector<std::thread> threads;
    std::vector<std::string> results(8);
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] { results[i] = ByteArray(raw, 0, 2).toHexString().c_str(); });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (const auto& r : results) {
        EXPECT_EQ(r, "1234");
    }
}

namespace {
// Runs after the C++ runtime has destroyed the statics built after it was
// registered, as a late caller during process exit would.
void hexAfterStaticDestruction()
{
    const char raw[] = {static_cast<char>(0xAB), 0x01};
    if (std::strcmp(ByteArray(raw, 0, 2).toHexString().c_str(), "AB01") != 0) {
        std::_Exit(3);
    }
}
} // namespace

TEST(ByteArrayDeathTest, HexTableOutlivesTheExitHandlers)
{
    // A fresh process, so the table's first use comes after the handler.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(&hexAfterStaticDestruction);
            const char raw[] = {0x12};
            if (std::strcmp(ByteArray(raw, 0, 1).toHexString().c_str(), "12") != 0) {
                std::_Exit(4);
            }
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(LongArray, AppendKeepsOrderAndCopiesAreIndependent)
{
    LongArray handles;
    handles.append(5).append(0xFFFFFFFFul);
    LongArray copy(handles);
    copy.append(7);
    ASSERT_EQ(handles.length(), 2u);
    ASSERT_EQ(copy.length(), 3u);
    EXPECT_EQ(handles[1], 0xFFFFFFFFul);
    EXPECT_EQ(copy[2], 7ul);
    LongArray zeros(3);
    EXPECT_EQ(zeros[2], 0ul);
}

// The wipe is observed from inside operator delete[], just before the memory
// goes back to the allocator. ASan brings its own operator delete, so the
// check runs in the plain build only.
#if !defined(__SANITIZE_ADDRESS__)
namespace {
const void* watchedBlock = nullptr;
std::size_t watchedLength = 0;
int watchedFrees = 0;
bool watchedWasZero = false;
// Fails the next single-object allocation when armed: the one that holds a
// new buffer's reference count.
bool failNextNew = false;
} // namespace

void operator delete[](void* block) noexcept
{
    if (block != nullptr && block == watchedBlock) {
        const unsigned char* p = static_cast<const unsigned char*>(block);
        watchedWasZero = std::all_of(p, p + watchedLength, [](unsigned char b) { return b == 0; });
        ++watchedFrees;
    }
    std::free(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    operator delete[](block);
}

// These operators are the allocator, backed by malloc and free; some GCC
// versions still read free() here as mismatched with new.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new[](std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    return block;
}

void* operator new(std::size_t size)
{
    if (failNextNew) {
        failNextNew = false;
        throw std::bad_alloc();
    }
    return operator new[](size);
}

void operator delete(void* block) noexcept
{
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}

static void watch(const char* block, std::size_t length)
{
    watchedBlock = block;
    watchedLength = length;
    watchedFrees = 0;
    watchedWasZero = false;
}

TEST(Wiping, LastHolderZeroesTheBufferBeforeItIsFreed)
{
    {
        String pin("1234");
        watch(pin.c_str(), 4);
        {
            String copy(pin);
        }
        EXPECT_EQ(watchedFrees, 0) << "a sharing copy must not free or wipe the buffer";
        EXPECT_EQ(std::memcmp(pin.c_str(), "1234", 4), 0);
    }
    EXPECT_EQ(watchedFrees, 1);
    EXPECT_TRUE(watchedWasZero);
}

TEST(Wiping, AppendWipesTheBufferItReplaces)
{
    String secret("s3cret");
    watch(secret.c_str(), 6);
    secret.append("!");
    EXPECT_EQ(watchedFrees, 1);
    EXPECT_TRUE(watchedWasZero);
    EXPECT_STREQ(secret.c_str(), "s3cret!");
}

TEST(AllocationFailure, AppendThatCannotCountItsBufferThrowsAndKeepsTheContents)
{
    String pin("1234");
    failNextNew = true;
    EXPECT_THROW(pin.append("56"), std::bad_alloc);
    failNextNew = false;
    EXPECT_EQ(pin.length(), 4u);
    EXPECT_STREQ(pin.c_str(), "1234");

    LongArray handles;
    handles.append(7);
    failNextNew = true;
    EXPECT_THROW(handles.append(8), std::bad_alloc);
    failNextNew = false;
    ASSERT_EQ(handles.length(), 1u);
    EXPECT_EQ(handles[0], 7ul);
}

TEST(Wiping, AssignmentWipesTheBufferItDropsLast)
{
    ByteArray key("KEYBYTES", 0, 8);
    watch(key.data(), 8);
    key = ByteArray(2);
    EXPECT_EQ(watchedFrees, 1);
    EXPECT_TRUE(watchedWasZero);
}
#endif
