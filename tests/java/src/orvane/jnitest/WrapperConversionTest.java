package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertSame;

import org.junit.jupiter.api.Test;

/** Strings, byte arrays and type descriptors converted between Java and the wrappers. */
class WrapperConversionTest {
    @Test
    void stringsRoundTripAndNullReadsAsEmpty() {
        assertEquals("", WrapperProbe.roundTripString(null));
        assertEquals("", WrapperProbe.roundTripString(""));
        assertEquals("PKCS11Slot", WrapperProbe.roundTripString("PKCS11Slot"));
        // Modified UTF-8 passes through unchanged, including non-ASCII text.
        assertEquals("Grüße \u20ac \ud83d\ude00", WrapperProbe.roundTripString("Grüße \u20ac \ud83d\ude00"));
    }

    @Test
    void byteArraysRoundTripAndEmptyNeverBecomesNull() {
        for (byte[] empty : new byte[][] {null, new byte[0]}) {
            assertArrayEquals(new byte[0], WrapperProbe.roundTripBytes(empty));
        }
        byte[] all = new byte[256];
        for (int i = 0; i < all.length; i++) {
            all[i] = (byte) i;
        }
        byte[] back = WrapperProbe.roundTripBytes(all);
        assertArrayEquals(all, back);
        back[0] = 9;
        assertEquals(0, all[0], "the native returns a new array, not the argument");
    }

    @Test
    void copiedAndAssignedWrappersStillReachTheSameObject() {
        Object original = new Object();
        assertSame(original, WrapperProbe.copyAndReturn(original));
        assertEquals(null, WrapperProbe.copyAndReturn(null));
    }

    @Test
    void assignmentReleasesTheReferenceTheWrapperHeld() {
        // One reference per wrapper and one for the assigned value; each deleted once.
        assertArrayEquals(new int[] {3, 3}, WrapperProbe.countAssignmentGlobals(new Object(), new Object()));
    }

    @Test
    void typeDescriptorsAndComposedSignature() {
        String[] expected = {
            "java/lang/Object", "Ljava/lang/Object;",
            "java/lang/String", "Ljava/lang/String;",
            "java/lang/Throwable", "Ljava/lang/Throwable;",
            "[byte", "[B",
            "int", "I",
            "boolean", "Z",
            "orvane/jnitest/WrapperProbe", "Lorvane/jnitest/WrapperProbe;",
            "(Ljava/lang/Object;Ljava/lang/String;Ljava/lang/Throwable;[BIZLorvane/jnitest/WrapperProbe;)V",
            "()V",
        };
        assertArrayEquals(expected, WrapperProbe.typeDescriptors());
    }
}
