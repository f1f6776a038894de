// The PKCS#11 bridge's module and slot members, driven directly (no JVM)
// against a module whose every answer the fuzzer picks (FuzzModule.h). Each
// input first rebuilds the slot list, then runs a sequence of operations.
//
// Checked besides memory safety: only PKCS11Exception and
// IndexOutOfBoundsException leave a member; a failure text ends in the name
// of its return value and never shows a PIN; what a member returns is what
// the module wrote (slot ids, handles, random bytes, digests, outputs, token
// descriptions). A difference aborts with a description. Some inputs run
// against a module loaded afresh whose list may leave entries empty: those
// calls fail as unsupported, and only an empty C_Initialize or C_GetSlotList
// fails the load.
#include "FuzzCheck.h"
#include "FuzzModule.h"

#include "jnibridge/ByteArray.h"
#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/String.h"
#include "pkcs11bridge/BridgeFunctions.h"
#include "pkcs11bridge/Certificate.h"
#include "pkcs11bridge/Certificates.h"
#include "pkcs11bridge/PKCS11Exception.h"
#include "pkcs11bridge/PKCS11Module.h"
#include "pkcs11bridge/PKCS11Slot.h"
#include "pkcs11bridge/PKCS11TokenInfo.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <dlfcn.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

using JNIBridge::ByteArray;
using JNIBridge::IndexOutOfBoundsException;
using JNIBridge::String;
using PKCS11Bridge::Certificate;
using PKCS11Bridge::PKCS11Exception;
using PKCS11Bridge::PKCS11Module;
using PKCS11Bridge::PKCS11Slot;

namespace {

// PINs carry a '#', which no label, seed or other text the target makes
// contains, so finding one in a message can only mean a PIN leaked.
const char* const pins[] = {"user#4711", "so#08154711", "new#2342", "#0"};

// The most slots the bridge accepts from a module, and its refusal of more.
constexpr unsigned long longestSlotList = 0x10000;
const std::string unusableSlotCount =
    "PKCS11Module::getSlotList() - Failed on call to C_GetSlotList(NULL_PTR) - The module reported an unusable "
    "slot count";

// The one module every input talks to. The bridge's module table keeps it for
// the life of the process, as it keeps every module Java loads.
struct Harness {
    PKCS11Module* module = nullptr;
    FuzzInstallSource install = nullptr;
    FuzzJournal* journal = nullptr;
};
Harness harness;

unsigned char nextAnswer(void* context)
{
    auto* in = static_cast<FuzzedDataProvider*>(context);
    return in->remaining_bytes() > 0 ? in->ConsumeIntegral<unsigned char>() : 0;
}

void checkFailureText(const String& message, CK_RV returnValue)
{
    const std::string text = bytesOf(message);
    expect(!text.empty(), "a failure without text");
    for (const char* pin : pins) {
        expect(text.find(pin) == std::string::npos, "a PIN in a failure text: " + text);
    }
    if (returnValue != CKR_OK) {
        const std::string suffix = " - " + bytesOf(PKCS11Bridge::getReturnValueName(returnValue));
        expect(text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0,
               "failure text '" + text + "' does not end in '" + suffix + "'");
    }
}

// Output the module wrote: `written` bytes of its pattern, zeros after them.
void expectOutput(const ByteArray& result, unsigned long length, unsigned long written, unsigned char salt,
                  const char* what)
{
    expect(result.length() == length,
           std::string(what) + ": length " + std::to_string(result.length()) + " instead of " + std::to_string(length));
    for (unsigned long k = 0; k < length; ++k) {
        const unsigned char expected = k < written ? fuzzOutputByte(salt, k) : 0;
        if (static_cast<unsigned char>(result.data()[k]) != expected) {
            mismatch(std::string(what) + ": byte " + std::to_string(k) + " differs from what the module wrote");
        }
    }
}

class Session {
public:
    Session(FuzzedDataProvider& input, PKCS11Module& module, const FuzzJournal& journal)
        : in(input), module(module), journal(journal)
    {
    }

    void run()
    {
        guarded([this] { refresh(); });
        while (in.remaining_bytes() > 0) {
            guarded([this] { step(); });
        }
    }

private:
    template <typename Operation>
    void guarded(Operation operation)
    {
        try {
            operation();
        } catch (const PKCS11Exception& e) {
            checkFailureText(e.getMessage(), e.getReturnValue());
        } catch (const IndexOutOfBoundsException& e) {
            checkFailureText(e.getMessage(), CKR_OK);
        } catch (const std::exception& e) {
            mismatch(std::string("a ") + typeid(e).name() + " left the bridge: " + e.what());
        } catch (...) {
            mismatch("an exception of an unexpected type left the bridge");
        }
    }

    void step()
    {
        using Step = void (*)(Session&);
        static const Step steps[] = {
            [](Session& s) { s.refresh(); },
            [](Session& s) { s.badSlotIndex(); },
            [](Session& s) { s.unknownModule(); },
            [](Session& s) { (void)s.slot()->tokenPresent(); },
            [](Session& s) {
                s.slot()->openSession(s.in.ConsumeBool() ? CKF_RW_SESSION | CKF_SERIAL_SESSION
                                                         : s.in.ConsumeIntegral<std::uint32_t>());
            },
            [](Session& s) { s.slot()->closeSession(); },
            [](Session& s) { s.closeAllSessions(); },
            [](Session& s) { s.slot()->login(s.pin(), s.in.ConsumeIntegralInRange<unsigned long>(0, 2)); },
            [](Session& s) { s.slot()->logout(); },
            [](Session& s) { s.slot()->setPIN(s.pin(), s.pin()); },
            [](Session& s) { s.slot()->initToken(s.pin(), s.label()); },
            [](Session& s) { s.slot()->initPIN(s.pin()); },
            [](Session& s) { s.slot()->initTokenAndUserPIN(s.pin(), s.label(), s.pin()); },
            [](Session& s) { s.digest(); },
            [](Session& s) { s.random(); },
            [](Session& s) { s.objects(); },
            [](Session& s) { s.certificateLookup(); },
            [](Session& s) { s.crypto(); },
            [](Session& s) { s.certificates(); },
            [](Session& s) { s.tokenInfo(); },
            [](Session& s) { (void)s.module.waitForSlotEvent(); },
            [](Session& s) { s.deletion(); },
        };
        steps[in.ConsumeIntegralInRange<int>(0, 21)](*this);
    }

    // A slot of the current list, or the index failure for a list without one.
    std::shared_ptr<PKCS11Slot> slot()
    {
        const unsigned int count = module.getNumberOfSlots();
        return module.getSlot(count == 0 ? 0 : in.ConsumeIntegralInRange<unsigned int>(0, count - 1));
    }

    String pin() { return String(pins[in.ConsumeIntegralInRange<std::size_t>(0, 3)]); }

    std::string text(std::size_t longest)
    {
        std::string text = in.ConsumeRandomLengthString(longest);
        for (char& c : text) {
            c = c == '#' ? '_' : c;
        }
        return text;
    }

    String label()
    {
        const std::string t = text(40);
        return String(t.data(), 0, static_cast<unsigned int>(t.size()));
    }

    ByteArray bytes(std::size_t longest)
    {
        const std::string data = text(longest);
        return ByteArray(data.data(), 0, static_cast<unsigned int>(data.size()));
    }

    void refresh()
    {
        const unsigned long listsBefore = journal.slotListCalls;
        try {
            module.refresh();
        } catch (const PKCS11Exception& e) {
            expect(module.getNumberOfSlots() == 0, "a failed refresh left slots behind");
            if (journal.slotCountQueried > longestSlotList) {
                expect(bytesOf(e.getMessage()) == unusableSlotCount && journal.slotListCalls == listsBefore,
                       "a slot count no list holds: " + bytesOf(e.getMessage()));
            }
            throw;
        }
        // A count beyond any real list is refused before anything is allocated.
        expect(journal.slotCountQueried <= longestSlotList,
               "slot count " + std::to_string(journal.slotCountQueried) + " was accepted");
        const unsigned int count = module.getNumberOfSlots();
        if (journal.slotListCalls == listsBefore) {
            expect(count == 0, "slots without a listing call");
            return;
        }
        // Never more slots than ids the module wrote and reported.
        expect(count <= journal.slotCountReported, "more slots than the module listed");
        for (unsigned int i = 0; i < count; ++i) {
            const CK_SLOT_ID expected = i < journal.slotIdsWritten ? journal.slotIds[i] : 0;
            const CK_SLOT_ID id = module.getSlot(i)->getSlotID();
            if (id != expected) {
                mismatch("slot " + std::to_string(i) + " has id " + std::to_string(id) + ", the module listed " +
                         std::to_string(expected));
            }
        }
    }

    void badSlotIndex()
    {
        const unsigned int count = module.getNumberOfSlots();
        const unsigned int index = in.ConsumeBool() ? count + in.ConsumeIntegralInRange<unsigned int>(0, 2)
                                                    : in.ConsumeIntegral<unsigned int>();
        if (index < count) {
            return;
        }
        try {
            module.getSlot(index);
        } catch (const IndexOutOfBoundsException& e) {
            const long long upper = static_cast<long long>(count) - 1;
            expect(bytesOf(e.getMessage()) == "PKCS11Module::getSlot(unsigned int) - index '" +
                                                  std::to_string(static_cast<int>(index)) + "' is out of bounds (0, " +
                                                  std::to_string(static_cast<int>(upper)) + ")",
                   "slot index message: " + bytesOf(e.getMessage()));
            return;
        }
        mismatch("slot index " + std::to_string(index) + " of " + std::to_string(count) + " was accepted");
    }

    void unknownModule()
    {
        const unsigned int id = in.ConsumeIntegral<unsigned int>();
        for (PKCS11Module* known : {&module, harness.module}) {
            if (id == known->getModuleId()) {
                expect(&PKCS11Module::getModule(id) == known, "getModule found another module");
                return;
            }
        }
        try {
            PKCS11Module::getModule(id);
        } catch (const PKCS11Exception& e) {
            expect(bytesOf(e.getMessage()) ==
                       "PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '" +
                           std::to_string(static_cast<int>(id)) + "' was not found",
                   "module id message: " + bytesOf(e.getMessage()));
            return;
        }
        mismatch("module id " + std::to_string(id) + " was found");
    }

    void closeAllSessions()
    {
        const std::shared_ptr<PKCS11Slot> s = slot();
        try {
            s->closeAllSessions();
        } catch (const PKCS11Exception&) {
            expect(s->getSessionId() == 0, "a failed C_CloseAllSessions left a session handle");
            throw;
        }
        expect(s->getSessionId() == 0, "C_CloseAllSessions left a session handle");
    }

    void digest()
    {
        const std::shared_ptr<PKCS11Slot> s = slot();
        s->digestInit(in.ConsumeBool() ? CKM_SHA_1 : in.ConsumeIntegral<unsigned long>());
        const int parts = in.ConsumeIntegralInRange<int>(0, 3);
        for (int i = 0; i < parts; ++i) {
            s->digestUpdate(bytes(64));
        }
        const ByteArray digest = s->digestFinal();
        expectOutput(digest, journal.outputReported, journal.outputWritten, journal.outputSalt, "digestFinal");
    }

    void random()
    {
        const std::shared_ptr<PKCS11Slot> s = slot();
        if (in.ConsumeBool()) {
            s->seedRandom(bytes(64));
            return;
        }
        static const unsigned int unusual[] = {INT_MAX, 1u << 31, UINT_MAX, 1u << 20};
        const unsigned int length = in.ConsumeIntegralInRange<int>(0, 7) == 0
                                        ? unusual[in.ConsumeIntegralInRange<std::size_t>(0, 3)]
                                        : in.ConsumeIntegralInRange<unsigned int>(0, 300);
        const ByteArray random = s->generateRandom(length);
        expectOutput(random, length, length, journal.randomSalt, "generateRandom");
    }

    // What a search returned against the handles the module found, of which it keeps 64.
    template <typename HandleAt>
    void expectFound(unsigned long count, HandleAt handleAt, const char* what, const char* things)
    {
        expect(count == journal.handlesFound || journal.handlesFound == 64,
               std::string(what) + ": " + std::to_string(count) + " " + things + ", the module found " +
                   std::to_string(journal.handlesFound));
        for (unsigned int i = 0; i < count && i < 64; ++i) {
            expect(handleAt(i) == journal.handles[i], std::string(what) + ": handle differs from the module's");
        }
    }

    void objects()
    {
        const JNIBridge::LongArray handles = slot()->findObjectsByClass(in.ConsumeIntegralInRange<unsigned long>(0, 4));
        expectFound(
            handles.length(), [&](unsigned int i) { return handles[i]; }, "findObjectsByClass", "handles");
    }

    Certificate certificate()
    {
        const ByteArray value = bytes(48);
        const ByteArray id = bytes(16);
        return Certificate(value, in.ConsumeIntegral<std::uint32_t>(), id);
    }

    void certificateLookup()
    {
        const std::shared_ptr<PKCS11Slot> s = slot();
        const ByteArray value = bytes(48);
        const auto found =
            s->findCertificate(in.ConsumeBool() ? CKC_X_509 : in.ConsumeIntegral<unsigned long>(), value);
        if (!found) {
            return;
        }
        expect(bytesOf(String(found->getValue().data(), 0, found->getValue().length())) ==
                   bytesOf(String(value.data(), 0, value.length())),
               "findCertificate: the certificate's value is not the one looked up");
        if (in.ConsumeBool()) {
            (void)s->findPublicKey(*found);
        } else {
            (void)s->findPrivateKey(*found);
        }
    }

    void crypto()
    {
        const std::shared_ptr<PKCS11Slot> s = slot();
        s->setCall2ndInit(in.ConsumeBool());
        const Certificate cert = certificate();
        const ByteArray input = bytes(64);
        const unsigned long mechanism = in.ConsumeBool() ? CKM_RSA_PKCS : in.ConsumeIntegral<unsigned long>();
        const int operation = in.ConsumeIntegralInRange<int>(0, 4);
        if (operation == 4) {
            (void)s->verifyData(cert, input, bytes(64), mechanism);
            return;
        }
        static const char* const names[] = {"encryptData", "signData", "decryptData", "unwrapKey"};
        const ByteArray out = operation == 0   ? s->encryptData(cert, input, mechanism)
                              : operation == 1 ? s->signData(cert, input, mechanism)
                              : operation == 2 ? s->decryptData(cert, input, mechanism)
                                               : s->unwrapKey(cert, input, mechanism);
        // Encryption and signing are sized by the length query, the others by the output call.
        expectOutput(out, operation < 2 ? journal.queryLengthReported : journal.outputReported, journal.outputWritten,
                     journal.outputSalt, names[operation]);
    }

    void certificates()
    {
        const PKCS11Bridge::Certificates found = slot()->getCertificates(in.ConsumeBool() ? CKC_X_509 : 1);
        expectFound(
            found.size(), [&](unsigned int i) { return found.getCertificate(i).getHandle(); }, "getCertificates",
            "certificates");
    }

    void tokenInfo()
    {
        const PKCS11Bridge::PKCS11TokenInfo info(*slot());
        auto same = [](const String& field, const auto& written) {
            return field.length() == sizeof written && std::memcmp(field.data(), written, sizeof written) == 0;
        };
        expect(same(info.getLabel(), journal.label), "token label differs");
        expect(same(info.getManufacturerID(), journal.manufacturerID), "token manufacturer differs");
        expect(same(info.getModel(), journal.model), "token model differs");
        expect(same(info.getSerialNumber(), journal.serialNumber), "token serial number differs");
        expect(info.getSessionCount() == journal.sessionCount, "token session count differs");
        expect(info.getHasRNG() == ((journal.tokenFlags & CKF_RNG) != 0), "token RNG flag differs");
        expect(info.getLoginRequired() == ((journal.tokenFlags & CKF_LOGIN_REQUIRED) != 0), "token login flag differs");
    }

    void deletion()
    {
        const std::shared_ptr<PKCS11Slot> s = slot();
        if (in.ConsumeBool()) {
            s->deleteObject(in.ConsumeIntegral<std::uint32_t>());
        } else {
            const bool publicKey = in.ConsumeBool();
            const bool privateKey = in.ConsumeBool();
            s->deleteCertificate(certificate(), publicKey, privateKey);
        }
    }

    FuzzedDataProvider& in;
    PKCS11Module& module;
    const FuzzJournal& journal;
};

bool leftEmpty(const FuzzJournal& journal, std::size_t entryOffset)
{
    return journal.emptyEntries[(entryOffset - offsetof(CK_FUNCTION_LIST, C_Initialize)) / sizeof(CK_C_Initialize)] !=
           0;
}

// A module loaded afresh; null when its load failed, which an empty
// C_Initialize or C_GetSlotList must do with the text of that step.
std::unique_ptr<PKCS11Module> loadAfresh(const FuzzJournal& journal)
{
    std::string failure;
    try {
        std::unique_ptr<PKCS11Module> module(new PKCS11Module(String(ORV_FUZZ_MODULE_PATH)));
        expect(!leftEmpty(journal, offsetof(CK_FUNCTION_LIST, C_Initialize)) &&
                   !leftEmpty(journal, offsetof(CK_FUNCTION_LIST, C_GetSlotList)),
               "a load without C_Initialize or C_GetSlotList succeeded");
        return module;
    } catch (const PKCS11Exception& e) {
        checkFailureText(e.getMessage(), e.getReturnValue());
        failure = bytesOf(e.getMessage());
    }
    const std::string unsupported = " - CKR_FUNCTION_NOT_SUPPORTED";
    if (leftEmpty(journal, offsetof(CK_FUNCTION_LIST, C_Initialize))) {
        expect(failure == "PKCS11Module::loadPKCS11Library() - Failed on call to C_Initialize(NULL_PTR)" + unsupported,
               "load without C_Initialize: " + failure);
    } else if (leftEmpty(journal, offsetof(CK_FUNCTION_LIST, C_GetSlotList))) {
        expect(failure == "PKCS11Module::getSlotList() - Failed on call to C_GetSlotList(NULL_PTR)" + unsupported,
               "load without C_GetSlotList: " + failure);
    } else {
        const std::string slotList = "PKCS11Module::getSlotList() - ";
        expect(failure.compare(0, slotList.size(), slotList) == 0, "load failed: " + failure);
    }
    return nullptr;
}

template <typename Function>
Function resolve(void* library, const char* name)
{
    void* symbol = dlsym(library, name);
    if (symbol == nullptr) {
        std::fprintf(stderr, "fuzz module without %s\n", name);
        std::abort();
    }
    return reinterpret_cast<Function>(symbol);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    void* library = dlopen(ORV_FUZZ_MODULE_PATH, RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", ORV_FUZZ_MODULE_PATH, dlerror());
        std::abort();
    }
    harness.install = resolve<FuzzInstallSource>(library, "orvfuzz_install_source");
    harness.journal = resolve<FuzzJournalAccess>(library, "orvfuzz_journal")();
    // Without a source the module's list is full: every function the bridge calls is there.
    CK_FUNCTION_LIST_PTR list = nullptr;
    resolve<CK_C_GetFunctionList>(library, "C_GetFunctionList")(&list);
#define ORV_EXPECT_ENTRY(name, labels) expect(list->name != nullptr, "the fuzz module lacks " #name);
    ORV_BRIDGE_FUNCTIONS(ORV_EXPECT_ENTRY)
#undef ORV_EXPECT_ENTRY
    // No answer source yet: the module initialises and lists no slots.
    harness.install(nullptr, nullptr);
    harness.module = new PKCS11Module(String(ORV_FUZZ_MODULE_PATH));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    harness.install(nextAnswer, &in);
    if (in.ConsumeIntegral<unsigned char>() >= 0xE0) {
        const std::unique_ptr<PKCS11Module> module = loadAfresh(*harness.journal);
        if (module) {
            Session(in, *module, *harness.journal).run();
        }
    } else {
        Session(in, *harness.module, *harness.journal).run();
    }
    harness.install(nullptr, nullptr);
    return 0;
}
