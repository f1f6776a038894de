package orvane.capitest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.ByteBuffer;
import java.util.stream.IntStream;

import org.junit.jupiter.api.Test;

/** Random seed bytes into direct and refused buffers. */
class CapiSeedTest extends CapiMaterial {
    private static long zeros(ByteBuffer buffer, int from, int to) {
        return IntStream.range(from, to).filter(i -> buffer.get(i) == 0).count();
    }

    @Test
    void fillsTheWholeCapacityAndLeavesPositionAndLimit() throws Exception {
        ByteBuffer buffer = ByteBuffer.allocateDirect(512);
        buffer.position(100).limit(200);
        token.nativeGenerateSeed(buffer);
        assertEquals(100, buffer.position());
        assertEquals(200, buffer.limit());
        buffer.clear();
        // Each 128-byte stretch, before, inside and after the window, holds
        // about half a zero byte on average when it was filled.
        for (int from = 0; from < 512; from += 128) {
            assertTrue(zeros(buffer, from, from + 128) < 8, "stretch at " + from);
        }
        ByteBuffer second = ByteBuffer.allocateDirect(512);
        token.nativeGenerateSeed(second);
        assertTrue(!buffer.equals(second));
    }

    @Test
    void emptyDirectBufferIsFine() throws Exception {
        token.nativeGenerateSeed(ByteBuffer.allocateDirect(0));
    }

    @Test
    void heapAndNullBuffersRaiseIOException() {
        assertFails(IOException.class, "CAPIbridge::nativeGenerateSeed() the ByteBuffer is not a direct buffer.", 0,
                () -> token.nativeGenerateSeed(ByteBuffer.allocate(16)));
        assertFails(IOException.class, "CAPIbridge::nativeGenerateSeed() the ByteBuffer is null.", 0,
                () -> token.nativeGenerateSeed(null));
    }

    @Test
    void concurrentCallsShareTheContainer() throws Exception {
        onFourThreads(20, () -> {
            ByteBuffer buffer = ByteBuffer.allocateDirect(64);
            token.nativeGenerateSeed(buffer);
            assertTrue(zeros(buffer, 0, 64) <= 8, "not filled");
        });
    }
}
