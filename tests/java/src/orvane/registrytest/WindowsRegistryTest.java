package orvane.registrytest;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.EOFException;
import java.io.FileNotFoundException;
import java.util.ArrayList;
import java.util.List;
import orvane.common.utils.WindowsRegistry;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.function.Executable;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * The registry natives in a JVM over the stand-in registry, which holds
 * registry-test.reg (imported into ORV_WIN32_ROOT before the run).
 */
class WindowsRegistryTest {
    static final int HKCU = WindowsRegistry.HKEY_CURRENT_USER;
    static final String BASE = "Software\\ORVNativeTest\\JUnit";
    static final String ENUM = BASE + "\\Enum";
    static final String VALUES = BASE + "\\Values";
    static final String SUFFIX = ". Error code HEX: 0x0. Error code dec: 0.\n";

    static String value(String name) throws Exception {
        return WindowsRegistry.getRegistryValueString(HKCU, VALUES, name);
    }

    static String illegal(Executable call) {
        return assertThrows(IllegalArgumentException.class, call).getMessage();
    }

    /** A FileNotFoundException whose message holds the Windows code and text; the message. */
    static String windowsError(String head, Executable call) {
        String message = assertThrows(FileNotFoundException.class, call).getMessage();
        assertTrue(message.startsWith(head), message);
        assertTrue(message.endsWith("\n" + SUFFIX), message);
        return message;
    }

    interface Lister {
        String name(int keyId, String path, int index) throws Exception;
    }

    /** Calls with 0, 1, 2, ... as Java callers do, until the EOFException with the given message. */
    static List<String> walk(Lister lister, String path, String endMessage) throws Exception {
        List<String> names = new ArrayList<>();
        for (int i = 0; i < 100; ++i) {
            try {
                names.add(lister.name(HKCU, path, i));
            } catch (EOFException e) {
                assertEquals(endMessage, e.getMessage());
                return names;
            }
        }
        throw new AssertionError("no EOFException after " + names);
    }

    @Nested
    class Enumeration {
        @Test
        void subKeysListInOrderAndEndWithEof() throws Exception {
            assertEquals(List.of("Alpha", "Beta", "Gamma"), walk(WindowsRegistry::getRegistryKeyName, ENUM,
                    "No more registry keys." + SUFFIX));
        }

        @Test
        void valuesListInOrderAndEndWithEof() throws Exception {
            assertEquals(List.of("Text", "Dword", "Expand", "Binary", "Multi", "Empty", "Latin1", "Utf8", "Invalid",
                    "Emoji"), walk(WindowsRegistry::getRegistryValueName, VALUES, "No more registry values." + SUFFIX));
        }

        @Test
        void negativeIndexIsPastTheEnd() {
            assertThrows(EOFException.class, () -> WindowsRegistry.getRegistryKeyName(HKCU, ENUM, -1));
            assertThrows(EOFException.class, () -> WindowsRegistry.getRegistryValueName(HKCU, VALUES, -1));
        }

        @Test
        void emptyPathListsTheRootItself() throws Exception {
            assertEquals("Software", WindowsRegistry.getRegistryKeyName(HKCU, "", 0));
        }
    }

    @Nested
    class ValueText {
        @Test
        void dwordOf0x41IsTheLetterA() throws Exception {
            assertEquals("A", value("Dword"));
        }

        @Test
        void dataUpToTheirFirstZero() throws Exception {
            assertEquals("hello registry", value("Text"));
            assertEquals("%SystemRoot%\\orv", value("Expand"));
            assertEquals("AB", value("Binary"));
            assertEquals("one", value("Multi"));
            assertEquals("", value("Empty"));
        }

        @Test
        void textThatIsNotModifiedUtf8ArrivesDecoded() throws Exception {
            assertEquals("caf\u00e9", value("Utf8"));
            // Four-byte UTF-8 is not modified UTF-8: it arrives as a surrogate pair.
            assertEquals("\ud83d\ude00", value("Emoji"));
            // No zero byte, and not UTF-8: taken whole, byte for byte.
            assertEquals("caf\u00e9", value("Latin1"));
            assertEquals("A\u00ff\u00c3", value("Invalid"));
        }

        @Test
        void sameCallSameAnswer() throws Exception {
            assertEquals(value("Text"), value("Text"));
        }
    }

    @Nested
    class Failures {
        @ParameterizedTest
        @ValueSource(ints = {0, 6, -1})
        void keyIdsOutsideOneToFiveAreIllegal(int keyId) {
            assertEquals("The keyId passed to RegistryAccessor::getRootKey was not valid. The invalid value is: "
                    + keyId + ".\n" + SUFFIX, illegal(() -> WindowsRegistry.getRegistryKeyName(keyId, ENUM, 0)));
            assertThrows(IllegalArgumentException.class,
                    () -> WindowsRegistry.getRegistryValueString(keyId, VALUES, "Text"));
        }

        @Test
        void missingKeyIsFileNotFoundWithTheWindowsCode() {
            String head = "Could not open registry key.\nThe error code is: 2\nThe error message is: ";
            String message = windowsError(head, () -> WindowsRegistry.getRegistryKeyName(HKCU, BASE + "\\Missing", 0));
            assertTrue(message.length() > head.length() + 1 + SUFFIX.length(), "system text present");
            assertThrows(FileNotFoundException.class,
                    () -> WindowsRegistry.getRegistryValueName(HKCU, BASE + "\\Missing", 0));
        }

        @Test
        void missingValueIsFileNotFoundWithTheWindowsCode() {
            windowsError("Could not extract the registry value.\nThe error code is: 2\nThe error message is: ",
                    () -> value("NoSuchValue"));
        }

        @Test
        void nullArgumentsAreIllegal() {
            assertEquals("The path passed to RegistryAccessor::getKeyName was null.\n" + SUFFIX,
                    illegal(() -> WindowsRegistry.getRegistryKeyName(HKCU, null, 0)));
            assertEquals("The path passed to RegistryAccessor::getValueName was null.\n" + SUFFIX,
                    illegal(() -> WindowsRegistry.getRegistryValueName(HKCU, null, 0)));
            assertEquals("The path passed to RegistryAccessor::getValueString was null.\n" + SUFFIX,
                    illegal(() -> WindowsRegistry.getRegistryValueString(HKCU, null, "Text")));
            assertEquals("The valueName passed to RegistryAccessor::getValueString was null.\n" + SUFFIX,
                    illegal(() -> WindowsRegistry.getRegistryValueString(HKCU, VALUES, null)));
        }

        @Test
        void bothArgumentsNullReportTheKeyIdFirst() {
            String message = illegal(() -> WindowsRegistry.getRegistryValueString(0, null, null));
            assertTrue(message.startsWith("The keyId passed"), message);
        }
    }
}
