package orvane.diaglog;

import java.util.ArrayList;
import java.util.List;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * A JVM of its own for the log's destinations DiagnosticLogTest prepares:
 * "load" loads the library and says so; "busy MODULE THREADS CALLS" has
 * THREADS threads ask slot 0 of MODULE whether its token is present, CALLS
 * times each, and says how many answers came.
 */
public final class LoggingChild {
    private LoggingChild() {
    }

    public static void main(String[] args) throws Exception {
        if (args[0].equals("load")) {
            try {
                PKCS11Module.getNumberOfSlots(Integer.MAX_VALUE);
            } catch (PKCS11Exception noSuchModule) {
                System.out.println("loaded");
            }
            return;
        }
        int m = PKCS11Module.loadLibrary(args[1]);
        int calls = Integer.parseInt(args[3]);
        List<Thread> threads = new ArrayList<>();
        int[] answers = new int[Integer.parseInt(args[2])];
        for (int t = 0; t < answers.length; t++) {
            int index = t;
            threads.add(new Thread(() -> {
                for (int i = 0; i < calls; i++) {
                    try {
                        PKCS11Slot.tokenPresent(m, 0);
                        answers[index]++;
                    } catch (PKCS11Exception e) {
                        throw new IllegalStateException(e);
                    }
                }
            }));
        }
        threads.forEach(Thread::start);
        for (Thread thread : threads) {
            thread.join();
        }
        System.out.println("answers " + java.util.Arrays.stream(answers).sum());
    }
}
