// A strict walk over a certificate's outer DER structure and the start of its
// TBSCertificate: version, serial number, signature algorithm, issuer,
// validity, subject and public key, each with the tag X.509 gives it.
#include "platform/linux/DerCertificate.h"

#include <algorithm>
#include <cstddef>

namespace orv::platform {
namespace {

constexpr BYTE kInteger = 0x02;
constexpr BYTE kBitString = 0x03;
constexpr BYTE kSequence = 0x30;
constexpr BYTE kVersionTag = 0xA0;

// One tag-length-value element; `begin` is its first byte, `content` its value.
struct Element {
    BYTE tag = 0;
    const BYTE* begin = nullptr;
    const BYTE* content = nullptr;
    const BYTE* end = nullptr;
};

class Reader {
public:
    Reader(const BYTE* begin, const BYTE* end) : at_(begin), end_(end) {}

    bool atEnd() const { return at_ == end_; }
    BYTE peekTag() const { return atEnd() ? 0 : *at_; }

    // The next element if it has the tag (definite lengths only, as DER has).
    bool next(BYTE tag, Element& out)
    {
        if (end_ - at_ < 2 || *at_ != tag) {
            return false;
        }
        const BYTE* p = at_ + 1;
        std::size_t length = *p++;
        if (length & 0x80) {
            std::size_t count = length & 0x7F;
            if (count == 0 || count > 4 || static_cast<std::size_t>(end_ - p) < count) {
                return false;
            }
            length = 0;
            for (std::size_t i = 0; i < count; ++i) {
                length = (length << 8) | *p++;
            }
        }
        if (static_cast<std::size_t>(end_ - p) < length) {
            return false;
        }
        out = Element{tag, at_, p, p + length};
        at_ = out.end;
        return true;
    }

private:
    const BYTE* at_;
    const BYTE* end_;
};

std::vector<BYTE> whole(const Element& e)
{
    return std::vector<BYTE>(e.begin, e.end);
}

} // namespace

LONG DerCertificate::parse(const BYTE* data, DWORD size)
{
    if (data == nullptr || size == 0) {
        return CRYPT_E_ASN1_EOD;
    }
    Reader outer(data, data + size);
    Element certificate, tbs, algorithm, signature;
    if (!outer.next(kSequence, certificate)) {
        return CRYPT_E_ASN1_BADTAG;
    }
    Reader parts(certificate.content, certificate.end);
    if (!parts.next(kSequence, tbs) || !parts.next(kSequence, algorithm) || !parts.next(kBitString, signature) ||
        !parts.atEnd()) {
        return CRYPT_E_ASN1_BADTAG;
    }

    Reader fields(tbs.content, tbs.end);
    Element version, serial, name[2], skipped;
    version_ = 0;
    if (fields.peekTag() == kVersionTag) {
        Element number;
        if (!fields.next(kVersionTag, version) || !Reader(version.content, version.end).next(kInteger, number) ||
            number.end - number.content != 1) {
            return CRYPT_E_ASN1_BADTAG;
        }
        version_ = *number.content;
    }
    if (!fields.next(kInteger, serial) || serial.content == serial.end || !fields.next(kSequence, skipped) ||
        !fields.next(kSequence, name[0]) || !fields.next(kSequence, skipped) || !fields.next(kSequence, name[1]) ||
        !fields.next(kSequence, skipped)) {
        return CRYPT_E_ASN1_BADTAG;
    }

    encoded_ = whole(certificate);
    serial_.assign(serial.content, serial.end);
    std::reverse(serial_.begin(), serial_.end());
    issuer_ = whole(name[0]);
    subject_ = whole(name[1]);
    return 0;
}

} // namespace orv::platform
