package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.charset.StandardCharsets;
import java.util.Random;

import org.junit.jupiter.api.Test;

/**
 * Text a module reports (standard UTF-8) as Java receives it, held against
 * Java's own UTF-8 decoder, which replaces each malformed sequence by U+FFFD.
 */
class ModuleTextTest {
    private static byte[] bytes(int... values) {
        byte[] b = new byte[values.length];
        for (int i = 0; i < values.length; i++) {
            b[i] = (byte) values[i];
        }
        return b;
    }

    private static void agreesWithJava(byte[] text) {
        assertEquals(new String(text, StandardCharsets.UTF_8), WrapperProbe.stringFromBytes(text),
                () -> java.util.HexFormat.of().formatHex(text));
    }

    @Test
    void supplementaryCharactersArriveWhole() {
        String key = "Schl\u00fcssel \ud83d\udd11 \u4e2d\u6587 \ud834\udd1e";
        assertEquals(key, WrapperProbe.stringFromBytes(key.getBytes(StandardCharsets.UTF_8)));
        assertEquals(2, WrapperProbe.stringFromBytes(bytes(0xF0, 0x9F, 0x94, 0x91)).length());
    }

    @Test
    void strayBytesBecomeReplacementCharacters() {
        assertEquals("f\ufffdr", WrapperProbe.stringFromBytes(bytes('f', 0xFC, 'r')));
        assertEquals("\ufffd\ufffd", WrapperProbe.stringFromBytes(bytes(0xC3, 0xFF)));
        assertEquals("x\ufffd", WrapperProbe.stringFromBytes(bytes('x', 0xF0, 0x9F, 0x94)));
        agreesWithJava(bytes(0xE0, 0x80, 0xAF, 0xF4, 0x90, 0x80, 0x80, 0xC1, 0xBF, 0xF8, 0x80));
    }

    @Test
    void textEndsAtTheFirstNul() {
        assertEquals("a", WrapperProbe.stringFromBytes(bytes('a', 0, 'b', 0)));
        assertEquals("f\ufffdr ", WrapperProbe.stringFromBytes(bytes('f', 0xFC, 'r', ' ', 0, 0xF0, 0, 0)));
    }

    @Test
    void theFieldLabelKeepsAllItsBlanks() {
        byte[] text = bytes('S', 'c', 'h', 'l', 0xC3, 0xBC, 's', 's', 'e', 'l', ' ', 'f', 0xFC, 'r', ' ',
                0xF0, 0x9F, 0x94, 0x91, ' ', 'x');
        byte[] label = java.util.Arrays.copyOf(text, 32);
        java.util.Arrays.fill(label, text.length, 32, (byte) ' ');
        assertEquals("Schl\u00fcssel f\ufffdr \ud83d\udd11 x" + " ".repeat(11), WrapperProbe.stringFromBytes(label));
    }

    /**
     * Random byte strings weighted towards UTF-8's lead and continuation
     * bytes, a fixed seed and a bounded count. NUL, C0 and ED are left out:
     * there the bridge keeps modified UTF-8 as Java wrote it, on purpose.
     */
    @Test
    void randomBytesDecodeAsJavaDecodesThem() {
        Random random = new Random(20261207L);
        int[] pool = {'a', ' ', 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xEE,
            0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xF8, 0xFF};
        for (int round = 0; round < 20000; round++) {
            byte[] text = new byte[random.nextInt(24)];
            for (int i = 0; i < text.length; i++) {
                text[i] = (byte) pool[random.nextInt(pool.length)];
            }
            agreesWithJava(text);
        }
    }
}
