package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import java.io.File;
import java.util.Arrays;

import org.junit.jupiter.api.Test;

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
}
