package orvane.registrytest;

import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;

import java.time.Duration;
import orvane.common.utils.IncomingNativeUtils;
import org.junit.jupiter.api.Test;

/** The accessibility native in a JVM with no status window: it returns at once, every time. */
class IncomingNativeUtilsTest {
    @Test
    void withoutTheStatusWindowReturnsAtOnce() {
        assertTimeoutPreemptively(Duration.ofSeconds(5), () -> {
            IncomingNativeUtils.jniShutdownNativeAccessibility();
            IncomingNativeUtils.jniShutdownNativeAccessibility();
        });
    }
}
