// String, ByteArray and LongArray under random operation sequences, each
// array checked after every step against a plain model (std::string or
// std::vector). Copies must stay independent, failures must leave arrays as
// they were, and a buffer released by its last holder must be zeros by then;
// any difference aborts with a description.
#include "FuzzCheck.h"

#include "jnibridge/ByteArray.h"
#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/LongArray.h"
#include "jnibridge/String.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sanitizer/allocator_interface.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

using JNIBridge::ByteArray;
using JNIBridge::IndexOutOfBoundsException;
using JNIBridge::LongArray;
using JNIBridge::String;

namespace {

// ---- watching one buffer's release through the allocator's free hook ----

// The free hook runs inside the allocator with nothing but the pointer, so the
// buffer it watches for has to be reachable from a global.
struct ReleaseWatch {
    const volatile void* buffer = nullptr;
    std::size_t bytes = 0;
    bool released = false;
    bool zeroed = false;
};
ReleaseWatch releaseWatch;

void onFree(const volatile void* pointer)
{
    if (releaseWatch.buffer == nullptr || pointer != releaseWatch.buffer) {
        return;
    }
    const volatile unsigned char* bytes = static_cast<const volatile unsigned char*>(pointer);
    bool zeroed = true;
    for (std::size_t i = 0; i < releaseWatch.bytes; ++i) {
        zeroed = zeroed && bytes[i] == 0;
    }
    releaseWatch.released = true;
    releaseWatch.zeroed = zeroed;
}

void onMalloc(const volatile void*, std::size_t)
{
}

// ---- expected failure texts, composed here independently ----

std::string boundsMessage(const std::string& prefix, long long index, long long lower, long long upper)
{
    char tail[96];
    std::snprintf(tail, sizeof tail, "'%d' is out of bounds (%d, %d)", static_cast<int>(index), static_cast<int>(lower),
                  static_cast<int>(upper));
    return prefix + tail;
}

template <typename Call>
void expectOutOfBounds(Call call, const std::string& expected)
{
    try {
        call();
    } catch (const IndexOutOfBoundsException& e) {
        expect(std::string(e.getMessage().c_str()) == expected,
               "message '" + std::string(e.getMessage().c_str()) + "' instead of '" + expected + "'");
        return;
    }
    mismatch("no IndexOutOfBoundsException, expected '" + expected + "'");
}

const char* const indexPrefix = "Array<T>::operator[](unsigned int) - index ";

std::string hexOf(const std::string& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 0xF];
    }
    return out;
}

// ---- the pools: arrays and their models side by side ----

constexpr std::size_t poolSize = 4;
constexpr std::size_t longestPiece = 48;
// Appending a string to itself doubles it; past this, growing steps are skipped
// so an input cannot run for minutes.
constexpr std::size_t longestArray = 4096;

template <typename Array, typename Model>
struct Pool {
    std::array<std::optional<Array>, poolSize> arrays;
    std::array<Model, poolSize> models;

    // Slots sharing one buffer; the array code must agree on who is last.
    int holdersOf(const void* buffer) const
    {
        return static_cast<int>(std::count_if(arrays.begin(), arrays.end(), [buffer](const auto& a) {
            return a && static_cast<const void*>(a->data()) == buffer;
        }));
    }
};

using Strings = Pool<String, std::string>;
using Bytes = Pool<ByteArray, std::string>;
using Longs = Pool<LongArray, std::vector<unsigned long>>;

// Runs a step that may give up slot `index`'s buffer: when the slot was its
// last holder the buffer must be released zeroed; when others share it, it
// must not be released at all.
template <typename PoolType, typename Step>
void replacing(PoolType& pool, std::size_t index, const char* what, Step step)
{
    auto& slot = pool.arrays[index];
    if (!slot) {
        step();
        return;
    }
    // Read-only access: the writable data() would detach.
    const void* old = std::as_const(*slot).data();
    const bool last = pool.holdersOf(old) == 1;
    releaseWatch = {old, static_cast<std::size_t>(slot->length()) * sizeof(*std::as_const(*slot).data()), false, false};
    step();
    const bool replaced = !slot || static_cast<const void*>(std::as_const(*slot).data()) != old;
    const ReleaseWatch seen = releaseWatch;
    releaseWatch = {};
    if (replaced && last) {
        expect(seen.released, std::string(what) + ": the last holder's buffer was not released");
        expect(seen.zeroed, std::string(what) + ": a buffer was released without being zeroed");
    }
    if (!last || !replaced) {
        expect(!seen.released, std::string(what) + ": a buffer still in use was released");
    }
}

// Slot i against its model: length, every element and, for a String, the
// terminating NUL.
template <typename Array, typename Model>
void check(const Pool<Array, Model>& pool, std::size_t i, const char* kind)
{
    const auto& a = pool.arrays[i];
    if (!a) {
        return;
    }
    const Model& model = pool.models[i];
    expect(a->length() == model.size(), std::string(kind) + " length " + std::to_string(a->length()) + " instead of " +
                                            std::to_string(model.size()));
    for (std::size_t k = 0; k < model.size(); ++k) {
        if (a->data()[k] != model[k]) {
            mismatch(std::string(kind) + " value differs from the model at " + std::to_string(k));
        }
    }
    if constexpr (std::is_same_v<Array, String>) {
        expect(a->c_str()[model.size()] == '\0', "String without its terminating NUL");
    }
}

class Session {
public:
    explicit Session(FuzzedDataProvider& input) : in(input) {}

    void run()
    {
        while (in.remaining_bytes() > 0) {
            step();
            for (std::size_t i = 0; i < poolSize; ++i) {
                check(strings, i, "String");
                check(bytes, i, "ByteArray");
                check(longs, i, "LongArray");
            }
        }
    }

private:
    std::size_t slot() { return in.ConsumeIntegralInRange<std::size_t>(0, poolSize - 1); }
    std::string piece() { return in.ConsumeRandomLengthString(longestPiece); }

    // An index mostly near the array's bounds, now and then anywhere.
    unsigned int indexFor(std::size_t length)
    {
        return in.ConsumeBool() ? in.ConsumeIntegral<unsigned int>()
                                : in.ConsumeIntegralInRange<unsigned int>(0, static_cast<unsigned int>(length) + 2);
    }

    // The text of an index refused by an array of that length.
    static std::string indexBound(unsigned int index, unsigned int length)
    {
        return boundsMessage(indexPrefix, index, 0, static_cast<long long>(length) - 1);
    }

    int offsetFor(std::size_t length)
    {
        // Now and then anywhere, mostly near the bounds.
        return in.ConsumeIntegralInRange<int>(0, 3) == 0
                   ? in.ConsumeIntegral<int>()
                   : in.ConsumeIntegralInRange<int>(-2, static_cast<int>(length) + 2);
    }

    void step()
    {
        using Step = void (*)(Session&);
        static const Step steps[] = {
            [](Session& s) {
                s.make(s.strings, "String rebuilt", {Way::Empty, Way::Zeros, Way::Text, Way::Range, Way::Null});
            },
            [](Session& s) { s.assign(s.strings, "String assigned"); },
            [](Session& s) { s.appendText(); },
            [](Session& s) { s.appendString(); },
            [](Session& s) { s.appendNumber(); },
            [](Session& s) { s.concatenate(); },
            [](Session& s) { s.writeStringIndex(); },
            [](Session& s) { s.readStringIndex(); },
            [](Session& s) { s.destroy(s.strings, "String destroyed"); },
            [](Session& s) { s.writeThroughData(s.strings, "String detached"); },
            [](Session& s) {
                s.make(s.bytes, "ByteArray rebuilt", {Way::Empty, Way::Zeros, Way::Range, Way::Null});
            },
            [](Session& s) { s.assign(s.bytes, "ByteArray assigned"); },
            [](Session& s) { s.subBytes(); },
            [](Session& s) { s.toHex(); },
            [](Session& s) { s.writeBytesIndex(); },
            [](Session& s) { s.destroy(s.bytes, "ByteArray destroyed"); },
            [](Session& s) { s.writeThroughData(s.bytes, "ByteArray detached"); },
            [](Session& s) {
                s.make(s.longs, "LongArray rebuilt", {Way::Empty, Way::Zeros, Way::Range});
            },
            [](Session& s) { s.appendLong(); },
            [](Session& s) { s.assign(s.longs, "LongArray assigned"); },
            [](Session& s) { s.indexLongs(); },
            [](Session& s) { s.destroy(s.longs, "LongArray destroyed"); },
            [](Session& s) { s.copyConstruct(); },
        };
        steps[in.ConsumeIntegralInRange<int>(0, 22)](*this);
    }

    // ---- String ----

    void appendText()
    {
        const std::size_t i = slot();
        if (!strings.arrays[i] || strings.models[i].size() > longestArray) {
            return;
        }
        const std::string text = piece();
        const bool null = in.ConsumeBool();
        replacing(strings, i, "String appended text", [&] {
            String& returned = strings.arrays[i]->append(null ? nullptr : text.c_str());
            expect(&returned == &*strings.arrays[i], "append did not return its receiver");
        });
        // A null pointer appends nothing; otherwise the text up to its first NUL.
        if (!null) {
            strings.models[i] += text.c_str();
        }
    }

    void appendString()
    {
        const std::size_t i = slot();
        const std::size_t j = slot();
        if (!strings.arrays[i] || !strings.arrays[j]) {
            return;
        }
        // The other string counts up to its first NUL; it may be the receiver itself.
        const std::string added = strings.models[j].c_str();
        if (strings.models[i].size() + added.size() > longestArray) {
            return;
        }
        const std::string other = strings.models[j];
        replacing(strings, i, "String appended String", [&] { strings.arrays[i]->append(*strings.arrays[j]); });
        strings.models[i] += added;
        if (i != j) {
            expect(strings.models[j] == other, "append changed its argument");
        }
    }

    void appendNumber()
    {
        const std::size_t i = slot();
        if (!strings.arrays[i] || strings.models[i].size() > longestArray) {
            return;
        }
        if (in.ConsumeBool()) {
            const int value = in.ConsumeIntegral<int>();
            replacing(strings, i, "String appended int", [&] { strings.arrays[i]->append(value); });
            strings.models[i] += std::to_string(value);
        } else {
            const long value = in.ConsumeIntegral<long>();
            replacing(strings, i, "String appended long", [&] { strings.arrays[i]->append(value); });
            // Shown as the signed 32-bit value it holds.
            strings.models[i] += std::to_string(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
        }
    }

    void concatenate()
    {
        const std::size_t i = slot();
        const std::size_t j = slot();
        const std::size_t k = slot();
        if (!strings.arrays[j] || !strings.arrays[k]) {
            return;
        }
        const std::string left = strings.models[j];
        if (left.size() + strings.models[k].size() + longestPiece > longestArray) {
            return;
        }
        std::string model;
        if (in.ConsumeBool()) {
            model = left + strings.models[k].c_str();
            replacing(strings, i, "String +", [&] { strings.arrays[i] = *strings.arrays[j] + *strings.arrays[k]; });
        } else {
            const std::string text = piece();
            model = left + text.c_str();
            replacing(strings, i, "String + text", [&] { strings.arrays[i] = *strings.arrays[j] + text.c_str(); });
        }
        if (i != j) {
            expect(strings.models[j] == left, "operator+ changed its receiver");
        }
        strings.models[i] = model;
    }

    void writeStringIndex()
    {
        const std::size_t i = slot();
        if (!strings.arrays[i]) {
            return;
        }
        String& s = *strings.arrays[i];
        const unsigned int index = indexFor(s.length());
        const char value = in.ConsumeIntegral<char>();
        if (index >= s.length()) {
            expectOutOfBounds([&] { s[index] = value; }, indexBound(index, s.length()));
            return;
        }
        replacing(strings, i, "String written", [&] { s[index] = value; });
        strings.models[i][index] = value;
    }

    void readStringIndex()
    {
        const std::size_t i = slot();
        if (!strings.arrays[i]) {
            return;
        }
        const String& s = *strings.arrays[i];
        const unsigned int index = indexFor(s.length());
        if (index >= s.length()) {
            expectOutOfBounds([&] { (void)s[index]; }, indexBound(index, s.length()));
            return;
        }
        expect(s[index] == strings.models[i][index], "String read differs from the model");
    }

    // ---- ByteArray ----

    void subBytes()
    {
        const std::size_t i = slot();
        const std::size_t j = slot();
        if (!bytes.arrays[j]) {
            return;
        }
        const ByteArray& source = *bytes.arrays[j];
        const std::string sourceModel = bytes.models[j];
        const long long size = static_cast<long long>(sourceModel.size());
        const int offset = offsetFor(sourceModel.size());
        const int length = offsetFor(sourceModel.size());
        const std::string prefix = "ByteArray::subBytes(int, int) - ";
        const long long end = static_cast<long long>(offset) + length;
        // The first bound broken is the one named.
        const std::string refusal =
            offset < 0   ? boundsMessage(prefix + "offset ", offset, 0, size)
            : length < 0 ? boundsMessage(prefix + "length ", length, 0, size)
            : end > size ? boundsMessage(prefix + "offset + length ",
                                         static_cast<std::int32_t>(static_cast<std::uint32_t>(end)), 0, size)
                         : std::string();
        if (!refusal.empty()) {
            expectOutOfBounds([&] { (void)source.subBytes(offset, length); }, refusal);
            return;
        }
        replacing(bytes, i, "ByteArray from subBytes", [&] { bytes.arrays[i] = source.subBytes(offset, length); });
        bytes.models[i] = sourceModel.substr(offset, length);
    }

    void toHex()
    {
        const std::size_t i = slot();
        if (!bytes.arrays[i]) {
            return;
        }
        const String hex = bytes.arrays[i]->toHexString();
        const std::string expected = hexOf(bytes.models[i]);
        expect(hex.length() == expected.size() && std::strcmp(hex.c_str(), expected.c_str()) == 0,
               "toHexString gave '" + std::string(hex.c_str()) + "' instead of '" + expected + "'");
    }

    void writeBytesIndex()
    {
        const std::size_t i = slot();
        if (!bytes.arrays[i]) {
            return;
        }
        ByteArray& b = *bytes.arrays[i];
        const unsigned int index = indexFor(b.length());
        const char value = in.ConsumeIntegral<char>();
        const std::string bound = indexBound(index, b.length());
        if (index >= b.length()) {
            if (in.ConsumeBool()) {
                expectOutOfBounds([&] { b[index] = value; }, bound);
            } else {
                const ByteArray& readOnly = b;
                expectOutOfBounds([&] { (void)readOnly[index]; }, bound);
            }
            return;
        }
        replacing(bytes, i, "ByteArray written", [&] { b[index] = value; });
        bytes.models[i][index] = value;
    }

    // ---- LongArray ----

    void appendLong()
    {
        const std::size_t i = slot();
        if (!longs.arrays[i] || longs.models[i].size() > longestArray) {
            return;
        }
        const unsigned long value = in.ConsumeIntegral<unsigned long>();
        replacing(longs, i, "LongArray appended", [&] {
            LongArray& returned = longs.arrays[i]->append(value);
            expect(&returned == &*longs.arrays[i], "append did not return its receiver");
        });
        longs.models[i].push_back(value);
    }

    void indexLongs()
    {
        const std::size_t i = slot();
        if (!longs.arrays[i]) {
            return;
        }
        LongArray& l = *longs.arrays[i];
        const unsigned int index = indexFor(l.length());
        if (index >= l.length()) {
            expectOutOfBounds([&] { (void)l[index]; }, indexBound(index, l.length()));
            return;
        }
        if (in.ConsumeBool()) {
            const unsigned long value = in.ConsumeIntegral<unsigned long>();
            replacing(longs, i, "LongArray written", [&] { l[index] = value; });
            longs.models[i][index] = value;
        } else {
            const LongArray& readOnly = l;
            expect(readOnly[index] == longs.models[i][index], "LongArray read differs from the model");
        }
    }

    // ---- shared by the three ----

    // A new array for a slot: empty, n zeros, a C string (String only),
    // elements begin to end of a fuzzed source (a reversed range is taken as
    // empty rather than read past the source) or the same from no source.
    enum class Way { Empty, Zeros, Text, Range, Null };

    template <typename Array, typename Model>
    void make(Pool<Array, Model>& pool, const char* what, std::initializer_list<Way> ways)
    {
        const std::size_t i = slot();
        Model model;
        std::optional<Array> made;
        const Way way = ways.begin()[in.ConsumeIntegralInRange<int>(0, static_cast<int>(ways.size()) - 1)];
        if (way == Way::Empty) {
            made.emplace();
        } else if (way == Way::Zeros) {
            const auto n = in.ConsumeIntegralInRange<unsigned int>(0, longestPiece);
            made.emplace(n);
            model.assign(n, 0);
        } else if (way == Way::Range) {
            Model source;
            if constexpr (std::is_same_v<Array, LongArray>) {
                source.resize(in.ConsumeIntegralInRange<std::size_t>(0, longestPiece / 4));
                for (auto& v : source) {
                    v = in.ConsumeIntegral<unsigned long>();
                }
            } else {
                source = piece();
            }
            const auto begin = in.ConsumeIntegralInRange<unsigned int>(0, source.size());
            const auto end = in.ConsumeIntegralInRange<unsigned int>(0, source.size());
            made.emplace(std::as_const(source).data(), begin, end);
            if (begin <= end) {
                model.assign(source.begin() + begin, source.begin() + end);
            }
        } else if constexpr (!std::is_same_v<Array, LongArray>) {
            if (way == Way::Null) {
                made.emplace(nullptr, in.ConsumeIntegral<unsigned int>(), in.ConsumeIntegral<unsigned int>());
            } else if constexpr (std::is_same_v<Array, String>) {
                const std::string text = piece();
                made.emplace(text.c_str());
                model = text.c_str();
            }
        }
        replacing(pool, i, what, [&] { pool.arrays[i] = *made; });
        pool.models[i] = model;
    }

    template <typename PoolType>
    void assign(PoolType& pool, const char* what)
    {
        const std::size_t i = slot();
        const std::size_t j = slot();
        if (!pool.arrays[j]) {
            return;
        }
        replacing(pool, i, what, [&] { pool.arrays[i] = *pool.arrays[j]; });
        pool.models[i] = pool.models[j];
    }

    template <typename PoolType>
    void destroy(PoolType& pool, const char* what)
    {
        const std::size_t i = slot();
        replacing(pool, i, what, [&] { pool.arrays[i].reset(); });
        pool.models[i] = {};
    }

    // Writing through data() detaches first, so no other copy sees the write.
    template <typename PoolType>
    void writeThroughData(PoolType& pool, const char* what)
    {
        const std::size_t i = slot();
        if (!pool.arrays[i] || pool.arrays[i]->length() == 0) {
            return;
        }
        const std::size_t index = in.ConsumeIntegralInRange<std::size_t>(0, pool.arrays[i]->length() - 1);
        const char value = in.ConsumeIntegral<char>();
        replacing(pool, i, what, [&] { pool.arrays[i]->data()[index] = value; });
        pool.models[i][index] = value;
    }

    void copyConstruct()
    {
        const std::size_t i = slot();
        const std::size_t j = slot();
        if (i == j || !strings.arrays[j]) {
            return;
        }
        replacing(strings, i, "String copy-constructed", [&] {
            strings.arrays[i].reset();
            strings.arrays[i].emplace(*strings.arrays[j]);
        });
        strings.models[i] = strings.models[j];
        expect(std::as_const(*strings.arrays[i]).data() == std::as_const(*strings.arrays[j]).data(),
               "a copy did not share its source's buffer");
    }

    FuzzedDataProvider& in;
    Strings strings;
    Bytes bytes;
    Longs longs;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (__sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) == 0) {
        mismatch("the allocator took no free hook, so releases could not be checked");
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    Session(input).run();
    return 0;
}
