// Which of the algorithms the bridge cares about a provider lists.
#ifndef ORV_CAPI_PROVIDERALGORITHMS_H
#define ORV_CAPI_PROVIDERALGORITHMS_H

namespace CAPIBridge {

struct ProviderAlgorithms {
    bool sha1 = false;
    bool md5 = false;
    bool rsaSign = false;
    bool rsaKeyExchange = false;
    bool dssSign = false;
};

} // namespace CAPIBridge

#endif
