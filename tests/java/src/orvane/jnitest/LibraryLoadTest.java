package orvane.jnitest;

import static org.junit.jupiter.api.Assertions.assertDoesNotThrow;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotNull;

import java.io.File;
import orvane.common.utils.IncomingNativeUtils;
import org.junit.jupiter.api.Test;

class LibraryLoadTest {
    static String libraryFile() {
        String name = System.mapLibraryName("ORVNative");
        for (String dir : System.getProperty("java.library.path").split(File.pathSeparator)) {
            File candidate = new File(dir, name);
            if (candidate.isFile()) {
                return candidate.getAbsolutePath();
            }
        }
        return null;
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
