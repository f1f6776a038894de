package orvane.capitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** Provider availability: the answer and the code for present, absent and mistyped providers. */
class CapiProviderTest extends CapiMaterial {
    @Test
    void installedProviderIsReportedAvailable() {
        boolean[] available = {false, false};
        assertEquals(0, token.nativeIsCspAvailable(ENHANCED, "RSA_FULL", available));
        assertArrayEquals(new boolean[] {true, false}, available);
    }

    @Test
    void typeNamesMatchExactly() {
        for (String type : new String[] {"rsa_full", "PROV_RSA_FULL", "RSA", " RSA_FULL"}) {
            boolean[] available = {false};
            assertEquals(-630, token.nativeIsCspAvailable(ENHANCED, type, available), type);
            assertArrayEquals(new boolean[] {false}, available, type);
        }
        for (String type : new String[] {"RSA_FULL", "RSA_AES", "RSA_SIG", "RSA_SCHANNEL", "DSS", "DSS_DH",
                "DH_SCHANNEL", "FORTEZZA", "MS_EXCHANGE", "SSL"}) {
            long rc = token.nativeIsCspAvailable(ENHANCED, type, new boolean[1]);
            assertTrue(rc != -630, type);
        }
    }

    @Test
    void unknownProviderGivesTheWindowsErrorAndLeavesTheArray() {
        boolean[] available = {false};
        assertEquals(NTE_KEYSET_NOT_DEF,
                token.nativeIsCspAvailable("ORV No Such Provider \u00e9\u4e2d", "RSA_FULL", available));
        assertArrayEquals(new boolean[] {false}, available);
    }

    @Test
    void argumentCodesInOrder() {
        assertEquals(-150, token.nativeIsCspAvailable("", "", new boolean[1]));
        assertEquals(-150, token.nativeIsCspAvailable(null, null, null));
        assertEquals(-151, token.nativeIsCspAvailable(ENHANCED, "", new boolean[1]));
        assertEquals(-151, token.nativeIsCspAvailable(ENHANCED, null, new boolean[1]));
        assertEquals(-152, token.nativeIsCspAvailable(ENHANCED, "RSA_FULL", new boolean[0]));
        assertEquals(-152, token.nativeIsCspAvailable(ENHANCED, "RSA_FULL", null));
        // The Windows error comes before the empty array.
        assertEquals(NTE_KEYSET_NOT_DEF,
                token.nativeIsCspAvailable("ORV No Such Provider", "RSA_FULL", new boolean[0]));
    }
}
