package orvane.hardening;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;

/**
 * Token labels as SoftHSM2 stores them, byte for byte, read back through
 * getTokenInfo and held against Java's own UTF-8 decoder.
 */
class TokenLabelTest {
    /** The bytes a printf format of octal escapes stands for. */
    private static byte[] printfBytes(String format) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        for (int i = 0; i < format.length(); i++) {
            char c = format.charAt(i);
            if (c == '\\') {
                out.write(Integer.parseInt(format.substring(i + 1, i + 4), 8));
                i += 3;
            } else {
                out.write(c);
            }
        }
        return out.toByteArray();
    }

    private static byte[] field(byte[] label) {
        byte[] padded = Arrays.copyOf(label, 32);
        Arrays.fill(padded, label.length, 32, (byte) ' ');
        return padded;
    }

    private static PKCS11TokenInfo infoLabelled(String expected) throws Exception {
        HardeningToken t = HardeningToken.get();
        int slots = PKCS11Module.getNumberOfSlots(t.moduleId);
        StringBuilder seen = new StringBuilder();
        for (int i = 0; i < slots; i++) {
            PKCS11TokenInfo info = PKCS11Slot.getTokenInfo(t.moduleId, i);
            if (info.getLabel().equals(expected)) {
                return info;
            }
            seen.append('[').append(info.getLabel()).append("] ");
        }
        throw new AssertionError("no label equals [" + expected + "]; labels: " + seen);
    }

    @Test
    void strayLatin1ByteAndEmojiReadAsJavaDecodesThem() throws Exception {
        byte[] raw = printfBytes(HardeningToken.RAW_LABELS[0]);
        String expected = new String(field(raw), StandardCharsets.UTF_8);
        assertEquals("Schl\u00fcssel f\ufffdr \ud83d\udd11 x" + " ".repeat(11), expected);
        PKCS11TokenInfo info = infoLabelled(expected);
        assertEquals(32 + 2, info.getLabel().getBytes(StandardCharsets.UTF_8).length,
                "one stray byte became the three bytes of U+FFFD, every blank kept");
        assertEquals("SoftHSM project" + " ".repeat(17), info.getManufacturerID());
    }

    @Test
    void nulPaddedLabelEndsAtItsFirstNul() throws Exception {
        assertEquals("SoftHSM project" + " ".repeat(17), infoLabelled("nul-padded").getManufacturerID());
    }

    @Test
    void validUtf8LabelRoundTripsExactly() throws Exception {
        byte[] raw = printfBytes(HardeningToken.RAW_LABELS[1]);
        assertEquals(32, raw.length);
        String expected = new String(raw, StandardCharsets.UTF_8);
        assertTrue(expected.endsWith("\ud83d\ude00"));
        PKCS11TokenInfo info = infoLabelled(expected);
        assertArrayEquals(raw, info.getLabel().getBytes(StandardCharsets.UTF_8));
    }
}
