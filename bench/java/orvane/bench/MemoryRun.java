package orvane.bench;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.HashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Resident memory and JNI global references over many cheap calls and many signatures, each part bounded in
 * time. Exits 1 when global references grow, or when resident memory grows in the second half of a part by more
 * than the allowance (run with a fixed, pre-touched heap, so that the Java heap's own growth stays out).
 *
 * <p>Options: --module M --work DIR --pin-env VAR --refs-library PATH [--calls N] [--signatures N]
 * [--seconds N] [--rss-allowance-kib N]
 */
public final class MemoryRun {
    private MemoryRun() {
    }

    public static void main(String[] args) throws Exception {
        Map<String, String> options = new HashMap<>();
        for (int i = 0; i + 1 < args.length; i += 2) {
            options.put(args[i].substring(2), args[i + 1]);
        }
        System.load(options.get("refs-library"));
        Inputs inputs = new Inputs(Path.of(options.get("work")));
        String pin = System.getenv(options.get("pin-env"));
        long calls = Long.parseLong(options.getOrDefault("calls", "1000000"));
        long signatures = Long.parseLong(options.getOrDefault("signatures", "10000"));
        long seconds = Long.parseLong(options.getOrDefault("seconds", "120"));
        long allowance = Long.parseLong(options.getOrDefault("rss-allowance-kib", "1024"));
        BridgePath bridge = new BridgePath(options.get("module"), inputs, pin, List.of(Operation.Token.MAIN));
        int module = bridge.moduleId();
        int slot = bridge.slotIndex(Operation.Token.MAIN);

        boolean grew = false;
        grew |= phase("getSessionOpened + generateRandom(32)", calls, seconds, allowance, () -> {
            PKCS11Slot.getSessionOpened(module, slot);
            PKCS11Slot.generateRandom(module, slot, 32);
        });
        grew |= phase("signData SHA-256", signatures, seconds, allowance, () ->
                PKCS11Slot.signData(module, slot, inputs.certificate, inputs.data1k, BridgePath.CKM_SHA256_RSA_PKCS));
        System.exit(grew ? 1 : 0);
    }

    interface Call {
        void run() throws Exception;
    }

    // A warm-up tenth first, so that the JIT, the heap and the allocator have settled before the baseline; then
    // two halves. Memory that keeps growing shows in the second half as much as in the first; settling does not.
    private static boolean phase(String name, long total, long seconds, long allowanceKib, Call call) throws Exception {
        long warmup = Math.max(1, total / 10);
        for (long i = 0; i < warmup; i++) {
            call.run();
        }
        long deadline = System.nanoTime() + seconds * 1_000_000_000L;
        long[] rss = new long[3];
        long[] refs = new long[3];
        long done = 0;
        for (int point = 0; point < 3; point++) {
            if (point > 0) {
                long end = total * point / 2;
                while (done < end && System.nanoTime() < deadline) {
                    call.run();
                    done++;
                }
            }
            System.gc();
            rss[point] = residentKib();
            refs[point] = GlobalRefs.count();
        }
        boolean grew = refs[2] > refs[0] || rss[2] - rss[1] > allowanceKib;
        System.out.printf(Locale.ROOT,
                "%-38s %9d calls%s: resident %d -> %d -> %d KiB (%+d, second half %+d), global refs %d -> %d -> %d"
                        + " (%+d)%s%n",
                name, done, done < total ? " (time bound reached)" : "", rss[0], rss[1], rss[2], rss[2] - rss[0],
                rss[2] - rss[1], refs[0], refs[1], refs[2], refs[2] - refs[0], grew ? "  GROWTH" : "");
        return grew;
    }

    private static long residentKib() throws Exception {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"), StandardCharsets.US_ASCII)) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        return -1;
    }
}
