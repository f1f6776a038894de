// Loading modules, module ids, the slot list, refresh and slot events.
#include "MockModuleFixture.h"
#include "pkcs11bridge/BridgeFunctions.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

using PKCS11Bridge::PKCS11Module;
using namespace PKCS11Test;

namespace {

std::unique_ptr<PKCS11Module> loadMock()
{
    return std::unique_ptr<PKCS11Module>(new PKCS11Module(P11MOCK_MODULE_PATH));
}

class ModuleLoading : public ::testing::Test {
protected:
    void SetUp() override
    {
        mock().reset();
        mock().set_initialized(0);
    }
    void TearDown() override { mock().set_initialized(0); }
};

TEST_F(ModuleLoading, LoadsInitialisesAndListsSlotsWithTokens)
{
    auto module = loadMock();
    EXPECT_EQ(mock().calledFunctions(), (Calls{"C_GetFunctionList", "C_Initialize", "C_GetSlotList", "C_GetSlotList"}));
    EXPECT_EQ(mock().logLinesOf("C_Initialize"), (Calls{"C_Initialize args=NULL rv=0x0"}));
    EXPECT_EQ(mock().logLinesOf("C_GetSlotList"),
              (Calls{"C_GetSlotList tokenPresent=1 list=NULL countIn=0 countOut=3 rv=0x0",
                     "C_GetSlotList tokenPresent=1 list=set countIn=3 countOut=3 rv=0x0"}));
    ASSERT_EQ(module->getNumberOfSlots(), 3u);
    EXPECT_EQ(module->getSlot(0)->getSlotID(), P11MOCK_SLOT_A);
    EXPECT_EQ(module->getSlot(1)->getSlotID(), P11MOCK_SLOT_C);
    EXPECT_EQ(module->getSlot(2)->getSlotID(), P11MOCK_SLOT_D);
    EXPECT_EQ(&PKCS11Module::getModule(module->getModuleId()), module.get());
}

TEST_F(ModuleLoading, IdsIncreaseAndFailedLoadsUseNone)
{
    auto first = loadMock();
    const unsigned int firstId = first->getModuleId();
    const Failure again = pkcs11Failure([] { loadMock(); });
    EXPECT_EQ(again.message, "PKCS11Module::loadPKCS11Library() - Failed on call to C_Initialize(NULL_PTR) - "
                             "CKR_CRYPTOKI_ALREADY_INITIALIZED");
    EXPECT_EQ(again.returnValue, CKR_CRYPTOKI_ALREADY_INITIALIZED);
    first.reset();
    auto second = loadMock();
    EXPECT_EQ(second->getModuleId(), firstId + 1);
}

TEST_F(ModuleLoading, DestroyedModuleLeavesTableAndFinalises)
{
    auto module = loadMock();
    const unsigned int id = module->getModuleId();
    module.reset();
    EXPECT_EQ(mock().is_initialized(), 0);
    EXPECT_EQ(pkcs11Failure([id] { PKCS11Module::getModule(id); }).message,
              "PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '" + std::to_string(id) +
                  "' was not found");
}

TEST_F(ModuleLoading, PathThatCannotLoadNamesThePath)
{
    const Failure failure = pkcs11Failure([] { PKCS11Module("no-such-dir/no-such-module.so"); });
    EXPECT_TRUE(failure.raised);
    EXPECT_EQ(failure.message,
              "PKCS11Module::loadPKCS11Library() - Failed on call to LoadLibrary('no-such-dir/no-such-module.so')");
    EXPECT_EQ(failure.returnValue, 0UL);
}

#ifndef _WIN32
// Java hands the path over as modified UTF-8, an emoji as two three-byte
// surrogates; the file's name holds it as one four-byte sequence. (The JNI
// host's cases load a copy from such a folder under Wine.)
TEST_F(ModuleLoading, LoadsFromAFolderNamedOutsideAsciiAndTheBmp)
{
    const std::filesystem::path folder = std::filesystem::path(P11MOCK_MODULE_PATH).parent_path();
    std::filesystem::create_directories(folder / "modul\xC3\xA9-\xF0\x9F\x98\x80");
    std::filesystem::copy_file(P11MOCK_MODULE_PATH, folder / "modul\xC3\xA9-\xF0\x9F\x98\x80/copy.so",
                               std::filesystem::copy_options::overwrite_existing);
    const PKCS11Module copy((folder.string() + "/modul\xC3\xA9-\xED\xA0\xBD\xED\xB8\x80/copy.so").c_str());
    EXPECT_EQ(copy.getNumberOfSlots(), 3u);
}
#endif

TEST_F(ModuleLoading, LibraryWithoutFunctionListIsRefused)
{
    const Failure failure = pkcs11Failure([] { PKCS11Module(NOFUNCTIONLIST_PATH); });
    EXPECT_EQ(failure.message, std::string("PKCS11Module::loadPKCS11Library() - Failed on call to GetProcAddress('") +
                                   NOFUNCTIONLIST_PATH + "', 'C_GetFunctionList')");
    EXPECT_EQ(failure.returnValue, 0UL);
}

TEST_F(ModuleLoading, FailingFunctionListIsNamed)
{
    mock().fail("C_GetFunctionList", CKR_HOST_MEMORY, 1);
    const Failure failure = pkcs11Failure([] { loadMock(); });
    EXPECT_EQ(failure.message, "PKCS11Module::loadPKCS11Library() - Failed to invoke "
                               "C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR) - CKR_HOST_MEMORY");
    EXPECT_EQ(mock().call_count("C_Initialize"), 0UL);
}

// So that no other test meets an empty entry it did not ask for.
TEST_F(ModuleLoading, MockFillsEveryEntryTheBridgeCalls)
{
    CK_FUNCTION_LIST_PTR list = nullptr;
    ASSERT_EQ(reinterpret_cast<CK_C_GetFunctionList>(mock().symbol("C_GetFunctionList"))(&list), CKR_OK);
#define ORV_EXPECT_ENTRY(name, labels) EXPECT_NE(list->name, nullptr) << #name;
    ORV_BRIDGE_FUNCTIONS(ORV_EXPECT_ENTRY)
#undef ORV_EXPECT_ENTRY
}

// An empty entry answers as an unsupported function would, without reaching
// the module; the destructor's empty C_Finalize is answered the same way.
TEST_F(ModuleLoading, EmptyEntriesAnswerNotSupported)
{
    ASSERT_EQ(mock().set_empty_entries("C_GetSlotInfo C_Finalize"), 0);
    auto module = loadMock();
    const Failure failure = pkcs11Failure([&] { module->getSlot(indexA)->tokenPresent(); });
    EXPECT_EQ(failure.message,
              "PKCS11Slot::tokenPresent() - Failed on call to C_GetSlotInfo() - CKR_FUNCTION_NOT_SUPPORTED");
    EXPECT_EQ(failure.returnValue, CKR_FUNCTION_NOT_SUPPORTED);
    module.reset();
    EXPECT_EQ(mock().call_count("C_GetSlotInfo") + mock().call_count("C_Finalize"), 0UL);
}

TEST_F(ModuleLoading, FailedSlotListUsesUpTheIdButEntersNoModule)
{
    auto probe = loadMock();
    const unsigned int probeId = probe->getModuleId();
    probe.reset();
    mock().fail("C_GetSlotList", CKR_DEVICE_ERROR, 1);
    const Failure failure = pkcs11Failure([] { loadMock(); });
    EXPECT_EQ(failure.message,
              "PKCS11Module::getSlotList() - Failed on call to C_GetSlotList(NULL_PTR) - CKR_DEVICE_ERROR");
    EXPECT_TRUE(pkcs11Failure([probeId] { PKCS11Module::getModule(probeId + 1); }).raised);
    mock().set_initialized(0);
    auto next = loadMock();
    EXPECT_EQ(next->getModuleId(), probeId + 2);
}

TEST_F(ModuleLoading, UnknownModuleIdShownSigned)
{
    EXPECT_EQ(pkcs11Failure([] { PKCS11Module::getModule(static_cast<unsigned int>(-1)); }).message,
              "PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '-1' was not found");
}

class ModuleSlots : public MockModuleTest {};

TEST_F(ModuleSlots, TokenArrivingBetweenTheTwoCallsFailsTheSecond)
{
    mock().fail("C_GetSlotList", CKR_BUFFER_TOO_SMALL, 2);
    const Failure failure = pkcs11Failure([this] { module->refresh(); });
    EXPECT_EQ(failure.message,
              "PKCS11Module::getSlotList() - Failed on second call to C_GetSlotList() - CKR_BUFFER_TOO_SMALL");
    EXPECT_EQ(failure.returnValue, CKR_BUFFER_TOO_SMALL);
    EXPECT_EQ(module->getNumberOfSlots(), 0u);
    EXPECT_EQ(indexFailure([this] { module->getSlot(0); }),
              "PKCS11Module::getSlot(unsigned int) - index '0' is out of bounds (0, -1)");
}

TEST_F(ModuleSlots, NoTokensGiveEmptyList)
{
    for (unsigned long id : {P11MOCK_SLOT_A, P11MOCK_SLOT_C, P11MOCK_SLOT_D}) {
        mock().set_token_present(id, 0);
    }
    mock().log_clear();
    module->refresh();
    EXPECT_EQ(module->getNumberOfSlots(), 0u);
    EXPECT_EQ(calls(), (Calls{"C_GetSlotList"}));
}

TEST_F(ModuleSlots, RefreshDropsRemovedTokenAndShiftsIndexes)
{
    mock().set_token_present(P11MOCK_SLOT_C, 0);
    EXPECT_EQ(module->getSlot(1)->getSlotID(), P11MOCK_SLOT_C);
    module->refresh();
    ASSERT_EQ(module->getNumberOfSlots(), 2u);
    EXPECT_EQ(module->getSlot(0)->getSlotID(), P11MOCK_SLOT_A);
    EXPECT_EQ(module->getSlot(1)->getSlotID(), P11MOCK_SLOT_D);
    EXPECT_EQ(indexFailure([this] { module->getSlot(2); }),
              "PKCS11Module::getSlot(unsigned int) - index '2' is out of bounds (0, 1)");
}

TEST_F(ModuleSlots, NegativeJavaIndexIsOutOfRange)
{
    EXPECT_EQ(indexFailure([this] { module->getSlot(static_cast<unsigned int>(-1)); }),
              "PKCS11Module::getSlot(unsigned int) - index '-1' is out of bounds (0, 2)");
}

TEST_F(ModuleSlots, RefreshClosesTheOldSessionsIgnoringTheAnswer)
{
    auto old = openedSlot(indexA);
    openedSlot(indexC);
    mock().fail("C_CloseSession", CKR_SESSION_HANDLE_INVALID, 1);
    module->refresh();
    EXPECT_EQ(mock().logLines()[1], "C_CloseSession session=2 rv=0x0");
    EXPECT_EQ(calls(), (Calls{"C_CloseSession", "C_CloseSession", "C_GetSlotList", "C_GetSlotList"}));
    EXPECT_EQ(mock().session_count(P11MOCK_SLOT_C), 0UL);
    EXPECT_FALSE(module->getSlot(indexA)->getSessionOpened());
    EXPECT_FALSE(old->getSessionOpened());
}

TEST_F(ModuleSlots, SlotEventReturnsSlotId)
{
    mock().queue_slot_event(P11MOCK_SLOT_C);
    EXPECT_EQ(module->waitForSlotEvent(), P11MOCK_SLOT_C);
    EXPECT_EQ(mock().logLines(), (Calls{"C_GetSlotList tokenPresent=0 list=NULL countIn=0 countOut=4 rv=0x0",
                                        "C_GetSlotList tokenPresent=0 list=set countIn=4 countOut=4 rv=0x0",
                                        "C_GetSlotInfo slot=2 rv=0x0", "C_WaitForSlotEvent flags=0x1 slot=9 rv=0x0"}));
    EXPECT_EQ(module->getNumberOfSlots(), 3u);
}

// Fixed token slots beside an empty reader, as vendor middleware lists them:
// the reader keeps the wait polling. Every slot fixed gets the blocking wait,
// outside the call lock.
TEST_F(ModuleSlots, OnlyFixedSlotsGetTheBlockingWait)
{
    for (const unsigned long id : {P11MOCK_SLOT_A, P11MOCK_SLOT_C, P11MOCK_SLOT_D}) {
        mock().set_removable(id, 0);
    }
    mock().queue_slot_event(P11MOCK_SLOT_C);
    EXPECT_EQ(module->waitForSlotEvent(), P11MOCK_SLOT_C);
    EXPECT_EQ(linesOf("C_GetSlotInfo"), (Calls{"C_GetSlotInfo slot=2 rv=0x0", "C_GetSlotInfo slot=5 rv=0x0"}));
    EXPECT_EQ(linesOf("C_WaitForSlotEvent"), (Calls{"C_WaitForSlotEvent flags=0x1 slot=9 rv=0x0"}));
    mock().set_removable(P11MOCK_SLOT_EMPTY, 0);
    std::thread waiter([this] { EXPECT_EQ(module->waitForSlotEvent(), P11MOCK_SLOT_D); });
    for (int i = 0; i < 500 && mock().waiting_count() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(module->getCallLock().getCallerCount(), 0u);
    mock().queue_slot_event(P11MOCK_SLOT_D);
    waiter.join();
    EXPECT_EQ(linesOf("C_GetSlotInfo").size(), 6u);
    EXPECT_EQ(linesOf("C_WaitForSlotEvent").back(), "C_WaitForSlotEvent flags=0x0 slot=11 rv=0x0");
}

TEST_F(ModuleSlots, BlockingWaitWokenByEvent)
{
    std::atomic<unsigned long> seen{0};
    std::thread waiter([this, &seen] { seen = module->waitForSlotEvent(); });
    for (int i = 0; i < 500 && mock().waiting_count() == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(mock().waiting_count(), 1UL);
    mock().queue_slot_event(P11MOCK_SLOT_A);
    waiter.join();
    EXPECT_EQ(seen.load(), P11MOCK_SLOT_A);
}

TEST_F(ModuleSlots, FailedWaitCarriesNumberNotName)
{
    mock().fail("C_WaitForSlotEvent", CKR_FUNCTION_NOT_SUPPORTED, 1);
    const Failure failure = pkcs11Failure([this] { module->waitForSlotEvent(); });
    EXPECT_EQ(failure.message, "PKCS11Module::waitForSlotEvent() - Failed on call to "
                               "C_WaitForSlotEvent(0, &slotID, NULL_PTR) it returned '84'.");
    EXPECT_EQ(failure.returnValue, 0UL);
}

TEST_F(ModuleSlots, VendorWaitFailureShownSigned)
{
    mock().fail("C_WaitForSlotEvent", 0x80000001UL, 1);
    EXPECT_EQ(pkcs11Failure([this] { module->waitForSlotEvent(); }).message,
              "PKCS11Module::waitForSlotEvent() - Failed on call to "
              "C_WaitForSlotEvent(0, &slotID, NULL_PTR) it returned '-2147483647'.");
}

} // namespace
