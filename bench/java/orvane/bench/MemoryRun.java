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
 * time. Exits 1 when global references grow or resident memory grows beyond the allowance.
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
        long allowance = Long.parseLong(options.getOrDefault("rss-allowance-kib", "4096"));
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

    // A warm-up tenth first, so that the JIT, the heap and the allocator have settled before the baseline.
    private static boolean phase(String name, long total, long seconds, long allowanceKib, Call call) throws Exception {
        long warmup = Math.max(1, total / 10);
        for (long i = 0; i < warmup; i++) {
            call.run();
        }
        System.gc();
        long rssBefore = residentKib();
        long refsBefore = GlobalRefs.count();
        long deadline = System.nanoTime() + seconds * 1_000_000_000L;
        long done = 0;
        while (done < total && System.nanoTime() < deadline) {
            for (int i = 0; i < 1000 && done < total; i++, done++) {
                call.run();
            }
        }
        System.gc();
        long rssAfter = residentKib();
        long refsAfter = GlobalRefs.count();
        boolean grew = refsAfter > refsBefore || rssAfter - rssBefore > allowanceKib;
        System.out.printf(Locale.ROOT,
                "%-38s %9d calls%s: resident %d -> %d KiB (%+d), global refs %d -> %d (%+d)%s%n", name, done,
                done < total ? " (time bound reached)" : "", rssBefore, rssAfter, rssAfter - rssBefore, refsBefore,
                refsAfter, refsAfter - refsBefore, grew ? "  GROWTH" : "");
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
