package orvane.hardening;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** Random lengths beyond the bridge's 128 MiB cap are refused before anything is allocated. */
class HugeLengthTest {
    @Test
    void largestJavaLengthRefusedAndTheSessionStaysUsable() throws Exception {
        HardeningToken t = HardeningToken.get();
        PKCS11Slot.openSession(t.moduleId, t.slotIndex);
        try {
            for (int length : new int[] {Integer.MAX_VALUE, (128 << 20) + 1}) {
                assertEquals("PKCS11Slot::generateRandom(unsigned int) - Unable to allocate '" + length + "' bytes",
                        messageOf(PKCS11Exception.class,
                                () -> PKCS11Slot.generateRandom(t.moduleId, t.slotIndex, length)));
            }
            assertEquals(32, PKCS11Slot.generateRandom(t.moduleId, t.slotIndex, 32).length);
            assertTrue(PKCS11Slot.getSessionOpened(t.moduleId, t.slotIndex));
        } finally {
            PKCS11Slot.closeSession(t.moduleId, t.slotIndex);
        }
    }
}
