package orvane.capitest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.ByteBuffer;
import orvane.clapi.crypto.CapiToken;
import org.junit.jupiter.api.Test;

class CapiSeedTest {
    private final CapiToken token = new CapiToken();

    private static int zeros(ByteBuffer buffer, int from, int to) {
        int count = 0;
        for (int i = from; i < to; ++i) {
            if (buffer.get(i) == 0) {
                ++count;
            }
        }
        return count;
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
        IOException heap = assertThrows(IOException.class, () -> token.nativeGenerateSeed(ByteBuffer.allocate(16)));
        assertEquals(CapiMaterial.description("CAPIbridge::nativeGenerateSeed() the ByteBuffer is not a direct buffer.",
                0), heap.getMessage());
        IOException missing = assertThrows(IOException.class, () -> token.nativeGenerateSeed(null));
        assertEquals(CapiMaterial.description("CAPIbridge::nativeGenerateSeed() the ByteBuffer is null.", 0),
                missing.getMessage());
    }

    @Test
    void concurrentCallsShareTheContainer() throws Exception {
        Thread[] threads = new Thread[4];
        Throwable[] failures = new Throwable[threads.length];
        for (int t = 0; t < threads.length; ++t) {
            final int index = t;
            threads[t] = new Thread(() -> {
                try {
                    for (int i = 0; i < 20; ++i) {
                        ByteBuffer buffer = ByteBuffer.allocateDirect(64);
                        token.nativeGenerateSeed(buffer);
                        if (zeros(buffer, 0, 64) > 8) {
                            throw new AssertionError("not filled");
                        }
                    }
                } catch (Throwable e) {
                    failures[index] = e;
                }
            });
            threads[t].start();
        }
        for (Thread thread : threads) {
            thread.join();
        }
        for (Throwable failure : failures) {
            if (failure != null) {
                throw new AssertionError(failure);
            }
        }
    }
}
