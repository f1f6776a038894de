package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.File;
import java.util.Arrays;

import org.junit.jupiter.api.Test;

import orvane.clapi.crypto.CapiToken;
import orvane.common.utils.IncomingNativeUtils;

/** Loading the library into a real JVM: the load hook's version and a callable native. */
class LibraryLoadTest {
    static String libraryFile() {
        return Arrays.stream(System.getProperty("java.library.path").split(File.pathSeparator))
                .map(dir -> new File(dir, System.mapLibraryName("ORVNative"))).filter(File::isFile)
                .map(File::getAbsolutePath).findFirst().orElse(null);
    }

    @Test
    void loadsIntoARealJvm() {
        assertDoesNotThrow(() -> System.loadLibrary("ORVNative"));
    }

    @Test
    void loadHookReportsJni14() {
        String path = libraryFile();
        assertNotNull(path, "libORVNative.so on java.library.path");
        System.loadLibrary("ORVNative");
        assertEquals(0x00010004, WrapperProbe.callOnLoadOf(path));
    }

    @Test
    void registeredNativeIsCallable() {
        assertDoesNotThrow(IncomingNativeUtils::jniShutdownNativeAccessibility);
    }

    /** The shipped library answers as Linux: no CryptoAPI provider, and the answer array is left alone. */
    @Test
    void noCryptoApiProviderOnLinux() {
        boolean[] available = {true};
        assertEquals(0x80090019 /* NTE_KEYSET_NOT_DEF */, new CapiToken().nativeIsCspAvailable(
                "Microsoft Base Cryptographic Provider v1.0", "RSA_FULL", available));
        assertTrue(available[0]);
    }
}
