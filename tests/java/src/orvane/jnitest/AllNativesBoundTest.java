package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.io.InputStream;
import java.lang.invoke.MethodType;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.CapiToken;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.common.utils.IncomingNativeUtils;
import orvane.common.utils.WindowsRegistry;

/**
 * The five classes declare exactly the natives of the library's class tables, and the load hook binds every one:
 * calling it never gives UnsatisfiedLinkError.
 */
class AllNativesBoundTest {
    private static final Class<?>[] CLASSES = {
        WindowsRegistry.class, CapiToken.class, PKCS11Module.class, PKCS11Slot.class, IncomingNativeUtils.class,
    };

    /** Arguments that name no module, slot, key or store, so each call fails fast; objects are null. */
    private static final Map<Class<?>, Object> HARMLESS = Map.of(int.class, -1, long.class, -1L, boolean.class, false);

    private static Object[] harmlessArguments(Method m) {
        return Arrays.stream(m.getParameterTypes()).map(HARMLESS::get).toArray();
    }

    private static String tableRow(Class<?> c, Method m) {
        return c.getName().replace('.', '/') + " " + m.getName() + " "
                + MethodType.methodType(m.getReturnType(), m.getParameterTypes()).toMethodDescriptorString();
    }

    /** "class name signature" per native, as orv_native_table prints the tables. */
    private static List<String> tableRows() throws IOException, InterruptedException {
        Process dump = new ProcessBuilder(System.getenv("ORV_NATIVE_TABLE"), "natives").start();
        String text;
        try (InputStream out = dump.getInputStream()) {
            text = new String(out.readAllBytes(), StandardCharsets.US_ASCII);
        }
        assertTrue(dump.waitFor(30, TimeUnit.SECONDS) && dump.exitValue() == 0, "orv_native_table natives");
        List<String> rows = new ArrayList<>(Arrays.asList(text.split("\n")));
        rows.sort(null);
        return rows;
    }

    private static boolean isBound(Method m, Object receiver) {
        try {
            m.invoke(receiver, harmlessArguments(m));
            return true;
        } catch (InvocationTargetException e) {
            return !(e.getCause() instanceof UnsatisfiedLinkError);
        } catch (IllegalAccessException e) {
            throw new AssertionError(e);
        }
    }

    @Test
    void everyNativeOfTheTablesIsDeclaredAndBound() throws Exception {
        System.loadLibrary("ORVNative");
        List<String> unbound = new ArrayList<>();
        List<String> declared = new ArrayList<>();
        for (Class<?> c : CLASSES) {
            for (Method m : c.getDeclaredMethods()) {
                if (!Modifier.isNative(m.getModifiers())) {
                    continue;
                }
                declared.add(tableRow(c, m));
                m.setAccessible(true);
                Object receiver = Modifier.isStatic(m.getModifiers()) ? null : new CapiToken();
                boolean bound = assertTimeoutPreemptively(Duration.ofSeconds(10), () -> isBound(m, receiver),
                        c.getSimpleName() + "." + m.getName());
                if (!bound) {
                    unbound.add(c.getSimpleName() + "." + m.getName());
                }
            }
        }
        declared.sort(null);
        assertEquals(tableRows(), declared, "natives declared by the five classes against the tables");
        assertTrue(unbound.isEmpty(), unbound.size() + " unbound: " + unbound);
    }
}
