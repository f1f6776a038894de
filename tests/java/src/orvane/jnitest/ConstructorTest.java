package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static orvane.testsupport.SoftHsmSetup.messageOf;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.PKCS11Exception;

/** Java objects built from native code: argument order and the texts of failed lookups. */
class ConstructorTest {
    private static final String TARGET = "orvane/jnitest/ProbeTarget";

    @Test
    void buildsTheObjectWithArgumentsInOrder() {
        ProbeTarget target = assertInstanceOf(ProbeTarget.class, WrapperProbe.construct(TARGET, 0));
        assertEquals("text", target.text);
        assertEquals(42, target.number);
        assertTrue(target.flag);
        assertArrayEquals(new byte[] {1, 2, 3}, target.bytes);
    }

    @Test
    void emptyArgumentListCallsTheNoArgumentConstructor() {
        ProbeTarget target = assertInstanceOf(ProbeTarget.class, WrapperProbe.construct(TARGET, 2));
        assertEquals(-1, target.number);
    }

    @Test
    void missingClassNamesConstructorThenClassLookup() {
        assertEquals("JConstructor::invoke(const JArguments&) - orvane/jnitest/NoSuchClass<init>"
                + "((Ljava/lang/String;IZ[B)V) - JClass::setClass() - Unable to FindClass "
                + "'orvane/jnitest/NoSuchClass' - java.lang.NoClassDefFoundError: orvane/jnitest/NoSuchClass",
                messageOf(PKCS11Exception.class, () -> WrapperProbe.construct("orvane/jnitest/NoSuchClass", 0)));
    }

    @Test
    void mismatchedSignatureNamesConstructorThenMethodLookup() {
        String message = messageOf(PKCS11Exception.class, () -> WrapperProbe.construct(TARGET, 1));
        assertTrue(message.startsWith("JConstructor::invoke(const JArguments&) - orvane/jnitest/ProbeTarget<init>((I)V)"
                + " - JMethod<JVoid>::getMethodID(JClass&) - java.lang.NoSuchMethodError: "), message);
        assertTrue(message.endsWith("(I)V in class - orvane/jnitest/ProbeTarget"), message);
    }

    @Test
    void methodLookupFailuresCarrySignatureAndClassAfterTheJavaText() {
        String plain = WrapperProbe.methodLookupFailure("java/lang/Object", "absent", "(I)V", false);
        assertTrue(plain.startsWith("JMethod<JVoid>::getMethodID(JClass&) - java.lang.NoSuchMethodError: "), plain);
        assertTrue(plain.endsWith("(I)V in class - java/lang/Object"), plain);
        String string = WrapperProbe.methodLookupFailure("java/lang/Object", "absent", "()Ljava/lang/String;", true);
        assertTrue(string.startsWith("JMethod<JString>::getMethodID(JClass&) - java.lang.NoSuchMethodError: "), string);
        assertTrue(string.endsWith("()Ljava/lang/String; in class - java/lang/Object"), string);
        assertEquals(null, WrapperProbe.methodLookupFailure("java/lang/Object", "toString", "()Ljava/lang/String;", true));
    }
}
