package orvane.diaglog;

import java.util.concurrent.Callable;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.stream.IntStream;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * A JVM of its own for the log's destinations DiagnosticLogTest prepares: with
 * no arguments it loads the library; with MODULE THREADS CALLS, THREADS threads
 * ask slot 0 of MODULE CALLS times each whether its token is present. It says
 * how many calls were made.
 */
public final class LoggingChild {
    private LoggingChild() {
    }

    public static void main(String[] args) throws Exception {
        if (args.length == 0) {
            try {
                PKCS11Module.getNumberOfSlots(Integer.MAX_VALUE);
            } catch (PKCS11Exception noSuchModule) {
                System.out.println("calls 1");
            }
            return;
        }
        int m = PKCS11Module.loadLibrary(args[0]);
        int calls = Integer.parseInt(args[2]);
        ExecutorService pool = Executors.newCachedThreadPool();
        int total = 0;
        for (Future<Integer> done : pool.invokeAll(IntStream.range(0, Integer.parseInt(args[1])).<Callable<Integer>>mapToObj(t -> () -> {
            for (int i = 0; i < calls; i++) {
                PKCS11Slot.tokenPresent(m, 0);
            }
            return calls;
        }).toList())) {
            total += done.get();
        }
        pool.shutdown();
        System.out.println("calls " + total);
    }
}
