package orvane.pkcs11stress;

import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.concurrent.ConcurrentHashMap;
import java.util.concurrent.CopyOnWriteArrayList;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.atomic.AtomicLong;
import java.util.function.Predicate;

import orvane.clapi.crypto.PKCS11Exception;

/**
 * Threads that repeat one step each until a deadline or their budget of
 * iterations. A step's PKCS11Exception counts as a clean failure when the test
 * expects its kind; a wrong result, any other exception or a thread that does
 * not finish is recorded as a fault.
 */
final class StressRun {
    interface Step {
        void run(int iteration) throws Exception;
    }

    private final long millis;
    private final Predicate<PKCS11Exception> expected;
    private final List<Thread> threads = new ArrayList<>();
    private final Map<String, AtomicLong> successes = new ConcurrentHashMap<>();
    private final Map<String, AtomicLong> cleanFailures = new ConcurrentHashMap<>();
    final List<String> faults = new CopyOnWriteArrayList<>();
    private final CountDownLatch start = new CountDownLatch(1);

    StressRun(long millis, Predicate<PKCS11Exception> expected) {
        this.millis = millis;
        this.expected = expected;
    }

    StressRun worker(String name, int budget, Step step) {
        threads.add(new Thread(() -> loop(name, budget, step), name));
        return this;
    }

    private void loop(String name, int budget, Step step) {
        try {
            start.await();
        } catch (InterruptedException e) {
            return;
        }
        long deadline = System.nanoTime() + millis * 1_000_000L;
        for (int i = 0; i < budget && System.nanoTime() < deadline; i++) {
            try {
                step.run(i);
                successes.computeIfAbsent(name, k -> new AtomicLong()).incrementAndGet();
            } catch (PKCS11Exception e) {
                if (expected.test(e)) {
                    cleanFailures.computeIfAbsent(name, k -> new AtomicLong()).incrementAndGet();
                } else {
                    faults.add(name + ": " + e.getMessage());
                }
            } catch (Throwable e) {
                faults.add(name + ": " + e);
            }
        }
    }

    /** Runs every worker; returns the report line of what they achieved. */
    String run() throws InterruptedException {
        threads.forEach(Thread::start);
        start.countDown();
        for (Thread thread : threads) {
            thread.join(millis + 60_000);
            if (thread.isAlive()) {
                faults.add(thread.getName() + ": still running long after its deadline");
            }
        }
        return "successes " + successes + ", clean failures " + cleanFailures;
    }

    long successes(String name) {
        return successes.getOrDefault(name, new AtomicLong()).get();
    }

    long totalSuccesses() {
        return successes.values().stream().mapToLong(AtomicLong::get).sum();
    }
}
