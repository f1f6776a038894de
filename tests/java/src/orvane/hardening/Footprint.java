package orvane.hardening;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.concurrent.TimeUnit;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;

/**
 * What the process holds at one moment: resident memory, open file
 * descriptors and the JNI global references the VM counts. The references are
 * read from the VM's own thread dump (jcmd Thread.print), so nothing of the
 * library is needed to count them.
 */
record Footprint(long rssKiB, int fileDescriptors, int globalRefs) {
    private static final Pattern GLOBAL_REFS = Pattern.compile("JNI global refs: (\\d+)");

    static Footprint now() throws IOException, InterruptedException {
        settle();
        int refs = jniGlobalRefs();
        settle();
        return new Footprint(residentKiB(), openDescriptors(), refs);
    }

    private static void settle() throws InterruptedException {
        for (int i = 0; i < 3; i++) {
            System.gc();
            System.runFinalization();
            Thread.sleep(20);
        }
    }

    static long residentKiB() throws IOException {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", ""));
            }
        }
        throw new IOException("no VmRSS in /proc/self/status");
    }

    static int openDescriptors() throws IOException {
        try (Stream<Path> fds = Files.list(Path.of("/proc/self/fd"))) {
            return (int) fds.count();
        }
    }

    static int jniGlobalRefs() throws IOException, InterruptedException {
        ProcessBuilder builder = new ProcessBuilder("jcmd", Long.toString(ProcessHandle.current().pid()),
                "Thread.print").redirectErrorStream(true);
        builder.environment().remove("JAVA_TOOL_OPTIONS");
        Process jcmd = builder.start();
        String dump = new String(jcmd.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        if (!jcmd.waitFor(60, TimeUnit.SECONDS) || jcmd.exitValue() != 0) {
            throw new IOException("jcmd Thread.print failed:\n" + dump);
        }
        Matcher m = GLOBAL_REFS.matcher(dump);
        if (!m.find()) {
            throw new IOException("no JNI reference count in the thread dump:\n" + dump);
        }
        return Integer.parseInt(m.group(1));
    }

    @Override
    public String toString() {
        return String.format("RSS %d KiB, %d fds, %d JNI global refs", rssKiB, fileDescriptors, globalRefs);
    }
}
