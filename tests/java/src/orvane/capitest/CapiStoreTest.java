package orvane.capitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.util.Arrays;
import java.util.LinkedList;

import org.junit.jupiter.api.Test;

import orvane.testsupport.SoftHsmSetup;

/** Listing system stores and finding a certificate in one. */
class CapiStoreTest extends CapiMaterial {
    /** A list that refuses its second element. */
    static final class RefusingList extends LinkedList<byte[]> {
        int calls;

        @Override
        public boolean add(byte[] element) {
            ++calls;
            if (!isEmpty()) {
                throw new IllegalStateException("full");
            }
            return super.add(element);
        }
    }

    @Test
    void listsTheStoreExactly() throws Exception {
        LinkedList<byte[]> list = new LinkedList<>();
        assertEquals(0, token.nativeGetCertificates("MY", list));
        String[] stored = {"signer", "base", "nokey", "ksp", "kspcancel", "kspnokey", "kspdsa"};
        assertEquals(stored.length, list.size());
        for (String name : stored) {
            byte[] wanted = der(name);
            assertTrue(list.stream().anyMatch(entry -> Arrays.equals(entry, wanted)), name);
        }
        for (byte[] encoded : list) {
            assertArrayEquals(encoded, SoftHsmSetup.x509(encoded).getEncoded());
        }
        // A second call appends again.
        assertEquals(0, token.nativeGetCertificates("MY", list));
        assertEquals(2 * stored.length, list.size());
    }

    @Test
    void thousandsOfCertificatesInOneCall() {
        LinkedList<byte[]> list = new LinkedList<>();
        assertEquals(0, token.nativeGetCertificates("MANY", list));
        assertEquals(2000, list.size());
        assertEquals(2000, list.stream().map(Arrays::toString).distinct().count());
    }

    @Test
    void emptyStoreAddsNothing() {
        LinkedList<byte[]> list = new LinkedList<>();
        assertEquals(0, token.nativeGetCertificates("ORVEMPTY", list));
        assertTrue(list.isEmpty());
    }

    @Test
    void listArgumentCodes() {
        assertEquals(-90, token.nativeGetCertificates("", new LinkedList<>()));
        assertEquals(-90, token.nativeGetCertificates(null, new LinkedList<>()));
        assertEquals(-96, token.nativeGetCertificates("MY", null));
    }

    @Test
    void overridingAddThatThrowsGivesMinus95AndKeepsWhatWasAdded() throws Exception {
        RefusingList list = new RefusingList();
        assertEquals(-95, token.nativeGetCertificates("MY", list));
        assertEquals(1, list.size());
        assertEquals(2, list.calls);
    }

    @Test
    void answersWhetherACertificateIsInTheStore() throws Exception {
        boolean[] found = {false, true};
        assertEquals(0, token.nativeIsCertificateInStore(der("signer"), "MY", found));
        assertArrayEquals(new boolean[] {true, true}, found);
        found = new boolean[] {true};
        assertEquals(0, token.nativeIsCertificateInStore(der("stranger"), "MY", found));
        assertArrayEquals(new boolean[] {false}, found);
        found = new boolean[] {true};
        assertEquals(0, token.nativeIsCertificateInStore(der("signer"), "MANY", found));
        assertFalse(found[0]);
    }

    @Test
    void inStoreArgumentCodes() throws Exception {
        byte[] signer = der("signer");
        assertEquals(-70, token.nativeIsCertificateInStore(new byte[0], "", new boolean[1]));
        assertEquals(-70, token.nativeIsCertificateInStore(null, "MY", new boolean[1]));
        assertEquals(-71, token.nativeIsCertificateInStore(signer, "", new boolean[1]));
        assertEquals(-71, token.nativeIsCertificateInStore(signer, null, new boolean[1]));
        assertEquals(-74, token.nativeIsCertificateInStore(signer, "MY", new boolean[0]));
        assertEquals(-74, token.nativeIsCertificateInStore(der("stranger"), "MY", null));
        long garbage = token.nativeIsCertificateInStore(new byte[] {1, 2, 3}, "MY", new boolean[1]);
        assertTrue(garbage != 0 && (garbage > -70 || garbage < -999), Long.toString(garbage));
    }
}
