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
