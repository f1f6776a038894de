package orvane.bench;

import java.lang.management.ManagementFactory;
import java.lang.management.ThreadMXBean;

/** CPU time of the calling thread. */
final class CpuClock {
    private static final ThreadMXBean THREADS = ManagementFactory.getThreadMXBean();

    private CpuClock() {
    }

    static long threadNanos() {
        return THREADS.getCurrentThreadCpuTime();
    }
}
