package orvane.bench;

/** Operations done in a measured stretch of time. */
final class Sample {
    final long count;
    final long nanos;

    Sample(long count, long nanos) {
        this.count = count;
        this.nanos = nanos;
    }

    double opsPerSecond() {
        return nanos == 0 ? 0 : count * 1e9 / nanos;
    }
}
