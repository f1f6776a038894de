package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.time.Duration;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.CapiToken;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.common.utils.IncomingNativeUtils;
import orvane.common.utils.WindowsRegistry;

/** Every native of the five classes is bound by the load hook: calling it never gives UnsatisfiedLinkError. */
class AllNativesBoundTest {
    private static final Class<?>[] CLASSES = {
        WindowsRegistry.class, CapiToken.class, PKCS11Module.class, PKCS11Slot.class, IncomingNativeUtils.class,
    };

    /** Arguments that name no module, slot, key or store, so each call fails fast; objects are null. */
    private static final Map<Class<?>, Object> HARMLESS = Map.of(int.class, -1, long.class, -1L, boolean.class, false);

    private static Object[] harmlessArguments(Method m) {
        return Arrays.stream(m.getParameterTypes()).map(HARMLESS::get).toArray();
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
    void all43NativesAreBound() {
        System.loadLibrary("ORVNative");
        List<String> unbound = new ArrayList<>();
        int natives = 0;
        for (Class<?> c : CLASSES) {
            for (Method m : c.getDeclaredMethods()) {
                if (!Modifier.isNative(m.getModifiers())) {
                    continue;
                }
                natives++;
                m.setAccessible(true);
                Object receiver = Modifier.isStatic(m.getModifiers()) ? null : new CapiToken();
                boolean bound = assertTimeoutPreemptively(Duration.ofSeconds(10), () -> isBound(m, receiver),
                        c.getSimpleName() + "." + m.getName());
                if (!bound) {
                    unbound.add(c.getSimpleName() + "." + m.getName());
                }
            }
        }
        assertEquals(43, natives, "natives declared by the five classes");
        assertTrue(unbound.isEmpty(), unbound.size() + " unbound: " + unbound);
    }
}
