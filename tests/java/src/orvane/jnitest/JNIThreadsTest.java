package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** Native threads attached to the VM, and process-wide lookups made once under concurrency. */
class JNIThreadsTest {
    @Test
    void unseenNativeThreadIsAttachedAndKeepsItsEnvironment() {
        boolean[] r = WrapperProbe.attachFromNewThread();
        assertArrayEquals(new boolean[] {true, true, true, true}, r,
                "{was detached, attached, same env twice, env usable}");
    }

    @Test
    void throwableToStringIsLookedUpOncePerProcess() {
        int[] first = WrapperProbe.countToStringLookups(5);
        assertTrue(first[0] <= 1, "at most the very first conversion looks it up: " + first[0]);
        assertEquals(1, first[1], "a fresh method object looks up once over three calls");
        int[] again = WrapperProbe.countToStringLookups(20);
        assertEquals(0, again[0], "later conversions reuse the cached ID");
        assertEquals(1, again[1]);
    }

    @Test
    void firstLookupFromManyThreadsAtOnceHappensOnce() {
        for (int round = 0; round < 5; round++) {
            int[] r = WrapperProbe.concurrentFirstLookup(8);
            assertArrayEquals(new int[] {1, 1, 0}, r, "{GetMethodID calls, distinct IDs, failed threads}");
        }
    }
}
