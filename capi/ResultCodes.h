// Result codes of the CapiToken natives that return a long: 0 success,
// -70..-999 the library's own, anything else a Windows error code.
#ifndef ORV_CAPI_RESULTCODES_H
#define ORV_CAPI_RESULTCODES_H

#include <cstdint>

namespace CAPIBridge {

namespace ResultCode {

constexpr std::int32_t kSuccess = 0;

// Meaning the same wherever they appear.
constexpr std::int32_t kNoErrorReported = -998; // a Windows call failed, GetLastError was 0
constexpr std::int32_t kUserCancelled = -999;

// nativeIsCertificateInStore
constexpr std::int32_t kInStoreCertificateEmpty = -70;
constexpr std::int32_t kInStoreStoreNameEmpty = -71;
constexpr std::int32_t kInStoreCertificateCopy = -72;
constexpr std::int32_t kInStoreStoreNameCopy = -73;
constexpr std::int32_t kInStoreAnswerEmpty = -74;
constexpr std::int32_t kInStoreAnswerUnavailable = -75;

// nativeGetCertificates
constexpr std::int32_t kListStoreNameEmpty = -90;
constexpr std::int32_t kListStoreNameCopy = -91;
constexpr std::int32_t kListNoAddMethod = -92;
constexpr std::int32_t kListNewByteArray = -93;
constexpr std::int32_t kListByteArrayElements = -94;
constexpr std::int32_t kListAddThrew = -95;
constexpr std::int32_t kListNull = -96;

// nativeWrapDigest
constexpr std::int32_t kWrapDigestEmpty = -110;
constexpr std::int32_t kWrapHashTypeNegative = -111;
constexpr std::int32_t kWrapCertificateEmpty = -112;
constexpr std::int32_t kWrapStoreNameEmpty = -113;
constexpr std::int32_t kWrapSignatureArrayEmpty = -114;
constexpr std::int32_t kWrapDigestCopy = -115;
constexpr std::int32_t kWrapCertificateCopy = -116;
constexpr std::int32_t kWrapStoreNameCopy = -117;
constexpr std::int32_t kWrapSignatureElements = -118;
constexpr std::int32_t kWrapSignatureLengthMismatch = -121;

// nativeUnwrapSecretKey (carried inside the Java exception's message)
constexpr std::int32_t kUnwrapWrappedKeyEmpty = -130;
constexpr std::int32_t kUnwrapCertificateEmpty = -131;
constexpr std::int32_t kUnwrapStoreNameEmpty = -132;
constexpr std::int32_t kUnwrapWrappedKeyCopy = -134;
constexpr std::int32_t kUnwrapCertificateCopy = -135;
constexpr std::int32_t kUnwrapStoreNameCopy = -136;
constexpr std::int32_t kUnwrapKeyLengthInvalid = -141;

// nativeIsCspAvailable
constexpr std::int32_t kCspProviderNameEmpty = -150;
constexpr std::int32_t kCspTypeNameEmpty = -151;
constexpr std::int32_t kCspAnswerEmpty = -152;
constexpr std::int32_t kCspNameCopy = -153;
constexpr std::int32_t kCspAnswerUnavailable = -155;
constexpr std::int32_t kCspUnknownTypeName = -630;

// getCspFromCertificate
constexpr std::int32_t kCertificateNotInStore = -512;
constexpr std::int32_t kKeyProvInfoAlloc = -514;
constexpr std::int32_t kContainerNameTooLong = -515;
constexpr std::int32_t kContainerNameConversion = -516;
constexpr std::int32_t kProviderNameTooLong = -517;
constexpr std::int32_t kProviderNameConversion = -518;

// getCertificates
constexpr std::int32_t kCertificateListAlloc = -550;
constexpr std::int32_t kCertificateCopyAlloc = -551;

// wrapDigest
constexpr std::int32_t kWrapNoCertificateInStore = -590;
constexpr std::int32_t kWrapUnknownHashType = -592;
constexpr std::int32_t kWrapDigestLengthMismatch = -593;
constexpr std::int32_t kWrapSignatureLengthQuery = -594;
constexpr std::int32_t kWrapSignatureAlloc = -595;
constexpr std::int32_t kWrapSignatureProduced = -596;
constexpr std::int32_t kWrapNoSha1 = -597;
constexpr std::int32_t kWrapNoMd5 = -598;
// The provider does not list the signature algorithm the caller's key spec
// needs (DSS for key spec 1, RSA for key spec 2).
constexpr std::int32_t kWrapNoSignatureAlgorithm = -599;
constexpr std::int32_t kWrapBadKeySpec = -601;

} // namespace ResultCode

} // namespace CAPIBridge

#endif
