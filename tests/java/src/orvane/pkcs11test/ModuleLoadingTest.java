package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.pkcs11test.TestModules.failure;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Loading modules: ids, SoftHSM2's slots, a second load, and failed loads that use no id. A slot event
 * wait that never returns fails its case within seconds instead of holding the suite.
 */
class ModuleLoadingTest {
    private static final String NOT_FOUND = "PKCS11Module::getModule(unsigned int) - A PKCS11Module with a moduleId of '";

    @Test
    void firstModuleLoadedGetsIdZero() {
        assertEquals(0, TestModules.softHsm);
    }

    @Test
    void softHsmListsItsTokensAndTheFreeSlot() throws Exception {
        assertEquals(TestModules.softHsmSlotCount, PKCS11Module.getNumberOfSlots(TestModules.softHsm));
        assertEquals(4, TestModules.softHsmSlotCount);
    }

    @Test
    void secondLoadOfSoftHsmIsAlreadyInitialised() {
        assertEquals("PKCS11Module::loadPKCS11Library() - Failed on call to C_Initialize(NULL_PTR)"
                + " - CKR_CRYPTOKI_ALREADY_INITIALIZED", failure(() -> PKCS11Module.loadLibrary(TestModules.SOFTHSM)));
    }

    @Test
    void failedLoadsUseNoId() throws Exception {
        TestModules.resetMock();
        MockControl.setInitialized(false);
        int before = PKCS11Module.loadLibrary(TestModules.MOCK_PATH);
        assertThrows(PKCS11Exception.class, () -> PKCS11Module.loadLibrary("/nonexistent/libnothing.so"));
        assertThrows(PKCS11Exception.class, () -> PKCS11Module.loadLibrary(TestModules.MOCK_PATH));
        MockControl.setInitialized(false);
        int after = PKCS11Module.loadLibrary(TestModules.MOCK_PATH);
        assertEquals(before + 1, after);
        assertEquals(3, PKCS11Module.getNumberOfSlots(after));
    }

    @Test
    void unloadablePathNamedWithoutSuffix() {
        assertEquals("PKCS11Module::loadPKCS11Library() - Failed on call to LoadLibrary('/nonexistent/libnothing.so')",
                failure(() -> PKCS11Module.loadLibrary("/nonexistent/libnothing.so")));
    }

    @Test
    void nullPathReadsAsEmpty() {
        assertEquals("PKCS11Module::loadPKCS11Library() - Failed on call to LoadLibrary('')",
                failure(() -> PKCS11Module.loadLibrary(null)));
    }

    @Test
    @Timeout(value = 10, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void unknownModuleIdsRaisePKCS11Exception() {
        assertEquals(NOT_FOUND + "-1' was not found", failure(() -> PKCS11Module.getNumberOfSlots(-1)));
        assertEquals(NOT_FOUND + "99999' was not found", failure(() -> PKCS11Module.waitForSlotEvent(99999)));
        assertEquals(NOT_FOUND + "-7' was not found", failure(() -> PKCS11Module.refresh(-7)));
    }

    @Test
    @Timeout(value = 10, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void softHsmRefusesTheBlockingWaitItsFixedSlotsGet() {
        assertEquals("PKCS11Module::waitForSlotEvent() - Failed on call to C_WaitForSlotEvent(0, &slotID, NULL_PTR)"
                + " it returned '84'.", failure(() -> PKCS11Module.waitForSlotEvent(TestModules.softHsm)));
    }

    @Test
    @Timeout(value = 10, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void slotEventReturnsSlotIdZeroExtended() throws Exception {
        TestModules.resetMock();
        MockControl.queueSlotEvent(MockControl.SLOT_C);
        MockControl.queueSlotEvent(0x80000001L);
        assertEquals(MockControl.SLOT_C, PKCS11Module.waitForSlotEvent(TestModules.mock));
        assertEquals(0x80000001L, PKCS11Module.waitForSlotEvent(TestModules.mock));
    }

    @Test
    @Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void blockedWaitReturnsWhenEventArrives() throws Exception {
        TestModules.resetMock();
        long[] seen = {-1};
        Thread waiter = TestModules.slotEventWaiter(seen);
        for (int i = 0; i < 500 && MockControl.waitingCount() == 0; i++) {
            Thread.sleep(10);
        }
        MockControl.queueSlotEvent(MockControl.SLOT_D);
        waiter.join(10000);
        assertEquals(MockControl.SLOT_D, seen[0]);
    }

    @Test
    void refreshDropsPulledTokenAndShiftsIndexes() throws Exception {
        TestModules.resetMock();
        int id = TestModules.mock;
        assertEquals(3, PKCS11Module.getNumberOfSlots(id));
        MockControl.setTokenPresent(MockControl.SLOT_C, false);
        assertEquals(3, PKCS11Module.getNumberOfSlots(id));
        PKCS11Module.refresh(id);
        assertEquals(2, PKCS11Module.getNumberOfSlots(id));
        assertEquals("PKCS11Module::getSlot(unsigned int) - index '2' is out of bounds (0, 1)",
                messageOf(IndexOutOfBoundsException.class, () -> PKCS11Slot.tokenPresent(id, 2)));
        MockControl.reset();
        PKCS11Module.refresh(id);
    }

    @Test
    void failedSlotListLeavesNoSlots() throws Exception {
        TestModules.resetMock();
        int id = TestModules.mock;
        MockControl.fail("C_GetSlotList", 0x150, 2);
        assertEquals("PKCS11Module::getSlotList() - Failed on second call to C_GetSlotList() - CKR_BUFFER_TOO_SMALL",
                failure(() -> PKCS11Module.refresh(id)));
        assertEquals(0, PKCS11Module.getNumberOfSlots(id));
        PKCS11Module.refresh(id);
        assertEquals(3, PKCS11Module.getNumberOfSlots(id));
    }
}
