package orvane.card;

import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.security.Signature;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicLong;
import java.util.concurrent.atomic.AtomicReference;
import orvane.clapi.crypto.PKCS11Slot;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/**
 * A presence poller beside a signer that never lets go: the module lock must
 * serve the poller within about one signature, however eagerly the signer asks again.
 */
@Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
class CardPollerTest {
    private static final byte[] DATA = "polled while signing".getBytes(StandardCharsets.UTF_8);

    @Test
    void aPollerWaitsAtMostAboutOneSignature() throws Exception {
        Card.ensureInserted();
        Card.freshLogin();
        int m = Card.module();
        byte[] cert = Card.certificate();
        AtomicBoolean stop = new AtomicBoolean();
        AtomicLong worstSign = new AtomicLong();
        AtomicLong signatures = new AtomicLong();
        AtomicReference<byte[]> last = new AtomicReference<>();
        ExecutorService pool = Card.daemons(1);
        Future<?> signer = pool.submit(() -> {
            while (!stop.get()) {
                long start = System.nanoTime();
                last.set(PKCS11Slot.signData(m, Card.SLOT, cert, DATA, PKCS11Slot.CKM_SHA256_RSA_PKCS));
                worstSign.accumulateAndGet(System.nanoTime() - start, Math::max);
                signatures.incrementAndGet();
            }
            return null;
        });
        while (signatures.get() == 0) {
            Thread.sleep(5);
        }
        long worstPoll = 0;
        for (int i = 0; i < 30; i++) {
            long start = System.nanoTime();
            assertTrue(PKCS11Slot.tokenPresent(m, Card.SLOT));
            long took = System.nanoTime() - start;
            worstPoll = Math.max(worstPoll, took);
            Thread.sleep(Math.max(0, 100 - TimeUnit.NANOSECONDS.toMillis(took)));
        }
        stop.set(true);
        signer.get(10, TimeUnit.SECONDS);
        pool.shutdown();

        Signature verifier = Signature.getInstance("SHA256withRSA");
        verifier.initVerify(Card.publicKey());
        verifier.update(DATA);
        assertTrue(verifier.verify(last.get()), "the signer's last signature does not verify");
        double pollMs = worstPoll / 1e6;
        double signMs = worstSign.get() / 1e6;
        double bound = 1.5 * signMs + 20;
        System.out.printf("card: poller beside a signer: worst poll %.1f ms, worst signData %.1f ms, bound %.1f ms,"
                + " %d signatures%n", pollMs, signMs, bound, signatures.get());
        assertTrue(pollMs <= bound, String.format("a poll waited %.1f ms; bound %.1f ms", pollMs, bound));
    }
}
