package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;

/** Java exceptions met and raised by native code: texts, detail, and no recursion. */
class JavaExceptionsTest {
    /** A throwable whose own toString() fails. */
    static final class UnprintableException extends RuntimeException {
        private static final long serialVersionUID = 1L;

        @Override
        public String toString() {
            throw new IllegalStateException("toString failed");
        }
    }

    @Test
    void pendingJavaExceptionBecomesContextTextAndDetail() {
        IllegalStateException thrown = new IllegalStateException("kaboom");
        Object[] result = WrapperProbe.checkAfterCall(() -> {
            throw thrown;
        }, "Probe::run() - CallVoidMethod(...)", " [detail]");
        assertEquals("Probe::run() - CallVoidMethod(...) - java.lang.IllegalStateException: kaboom [detail]", result[0]);
        assertSame(thrown, result[1], "the exception holds the Java throwable itself");
        assertEquals(Boolean.FALSE, result[2], "the Java exception is cleared");
    }

    @Test
    void nothingPendingMeansNoException() {
        assertNull(WrapperProbe.checkAfterCall(() -> { }, "unused", ""));
    }

    @Test
    void throwableWhoseToStringFailsDoesNotRecurse() {
        Object[] result = WrapperProbe.checkAfterCall(() -> {
            throw new UnprintableException();
        }, "outer", "");
        assertEquals("JMethod<JString>::invoke(JObject&) - CallObjectMethodA(...) - ", result[0]);
        assertTrue(result[1] instanceof IllegalStateException);
        assertEquals(Boolean.FALSE, result[2]);
    }

    @Test
    void raiseLeavesTheNamedExceptionPending() {
        assertEquals("PKCS11Slot_signData() - failed", messageOf(PKCS11Exception.class,
                () -> WrapperProbe.raise("orvane/clapi/crypto/PKCS11Exception", "PKCS11Slot_signData() - failed")));
        assertEquals("index '3'", messageOf(IndexOutOfBoundsException.class,
                () -> WrapperProbe.raise("java/lang/IndexOutOfBoundsException", "index '3'")));
    }

    @Test
    void raiseOfAMissingClassReportsAndLeavesNoClassDefFoundError() {
        String missing = messageOf(NoClassDefFoundError.class,
                () -> WrapperProbe.raiseCapturing("orvane/jnitest/Missing", "raise text"));
        assertTrue(missing.contains("orvane/jnitest/Missing"), missing);
        assertEquals("Could not throw the exception: raise text\n", WrapperProbe.capturedStderr());
    }

    @Test
    void raiseOfANonThrowableClassIsRefusedWithoutHarm() {
        assertEquals("java/lang/String is not a Throwable", messageOf(IllegalArgumentException.class,
                () -> WrapperProbe.raiseCapturing("java/lang/String", "odd text")));
        assertEquals("Could not throw the exception: odd text\n", WrapperProbe.capturedStderr());
    }

    @Test
    void throwJavaExceptionOfAMissingClassReportsAndLeavesNoClassDefFoundError() {
        String missing = messageOf(NoClassDefFoundError.class,
                () -> WrapperProbe.throwCapturing("orvane/jnitest/AlsoMissing", "throw text"));
        assertTrue(missing.contains("orvane/jnitest/AlsoMissing"), missing);
        assertEquals("Could not throw the exception: throw text\n", WrapperProbe.capturedStderr());
        assertEquals("found", messageOf(IllegalStateException.class,
                () -> WrapperProbe.throwCapturing("java/lang/IllegalStateException", "found")));
        assertEquals("", WrapperProbe.capturedStderr());
        assertThrows(IllegalArgumentException.class,
                () -> WrapperProbe.throwCapturing("java/lang/Object", "not throwable"));
        assertEquals("Could not throw the exception: not throwable\n", WrapperProbe.capturedStderr());
    }

    @Test
    void javaOutOfMemoryInsideAWrapperCarriesTheWrapperContext() {
        long wanted = Runtime.getRuntime().maxMemory() + (32L << 20);
        int size = (int) Math.min(Integer.MAX_VALUE - 16, wanted);
        PKCS11Exception e = assertThrows(PKCS11Exception.class, () -> WrapperProbe.newByteArray(size));
        assertTrue(e.getMessage().startsWith(
                "JByteArray::JByteArray(const ByteArray&) - NewByteArray(...) - java.lang.OutOfMemoryError"),
                e.getMessage());
    }

    @Test
    void guardTurnsEscapingCppExceptionsIntoJavaOnes() {
        assertEquals("Native memory exhausted", messageOf(OutOfMemoryError.class, () -> WrapperProbe.guarded(0)));
        Error std = assertThrows(Error.class, () -> WrapperProbe.guarded(1));
        assertEquals(Error.class, std.getClass());
        assertEquals("Unhandled native failure - probe failure", std.getMessage());
        String unhandled = "Unhandled native failure - ";
        assertEquals(unhandled + "unknown exception", messageOf(Error.class, () -> WrapperProbe.guarded(2)));
        assertEquals(unhandled + "JNIBridge failure", messageOf(Error.class, () -> WrapperProbe.guarded(3)));
        assertEquals(7, WrapperProbe.guarded(4));
    }

    @Test
    void voidGuardDoesTheSame() {
        assertThrows(OutOfMemoryError.class, () -> WrapperProbe.guardedVoid(0));
        assertEquals("Unhandled native failure - probe failure",
                messageOf(Error.class, () -> WrapperProbe.guardedVoid(1)));
        WrapperProbe.guardedVoid(4);
    }
}
