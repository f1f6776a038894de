// A container or provider name from a certificate's key-provider information,
// in the current locale's multibyte form, as CryptAcquireContextA takes it. A
// null name stays null: CryptoAPI then picks the default container or provider.
#ifndef ORV_CAPI_NARROWNAME_H
#define ORV_CAPI_NARROWNAME_H

#include <array>
#include <cstddef>
#include <cwchar>

namespace CAPIBridge {

class NarrowName {
public:
    static constexpr std::size_t kMaxBytes = 512;

    // 0, or tooLongCode (over kMaxBytes or unmeasurable) / conversionCode.
    int convert(const wchar_t* wide, int tooLongCode, int conversionCode);
    void replaceIf(const char* from, const char* to);
    const char* get() const { return isNull_ ? nullptr : bytes_.data(); }

private:
    std::array<char, kMaxBytes + 1> bytes_{};
    bool isNull_ = true;
};

} // namespace CAPIBridge

#endif
