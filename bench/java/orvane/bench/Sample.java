package orvane.bench;

/**
 * Operations done in a measured stretch: its wall-clock time and the CPU time of the calling thread, which is
 * where every path does its work (the module runs in the caller's thread). On a shared machine the thread's CPU
 * time leaves out the time other processes held the CPU.
 */
final class Sample {
    final long count;
    final long nanos;
    final long cpuNanos;

    Sample(long count, long nanos, long cpuNanos) {
        this.count = count;
        this.nanos = nanos;
        this.cpuNanos = cpuNanos;
    }

    /** One operation of a timed stretch. */
    interface Call {
        void run() throws Exception;
    }

    /**
     * Runs whole batches of CALL until BUDGET_MILLIS are spent (one batch for 0). The bridge's path keeps a loop
     * of its own, without the call through an interface, for callgrind's counts per native.
     */
    static Sample timed(int batch, long budgetMillis, Call call) throws Exception {
        long cpuStart = CpuClock.threadNanos();
        long start = System.nanoTime();
        long deadline = start + budgetMillis * 1_000_000L;
        long count = 0;
        long now;
        do {
            for (int i = 0; i < batch; i++) {
                call.run();
            }
            count += batch;
            now = System.nanoTime();
        } while (now < deadline);
        return new Sample(count, now - start, CpuClock.threadNanos() - cpuStart);
    }

    Sample plus(Sample other) {
        return new Sample(count + other.count, nanos + other.nanos, cpuNanos + other.cpuNanos);
    }

    double opsPerSecond() {
        return nanos == 0 ? 0 : count * 1e9 / nanos;
    }

    double opsPerCpuSecond() {
        return cpuNanos == 0 ? 0 : count * 1e9 / cpuNanos;
    }
}
