package orvane.testsupport;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Comparator;
import java.util.concurrent.TimeUnit;
import java.util.stream.Stream;

/**
 * What every JVM suite on a SoftHSM2 token of its own starts with: an empty
 * token directory behind the SOFTHSM2_CONF its ctest entry names, and the
 * command-line tools that fill it.
 */
public final class SoftHsmSetup {
    private SoftHsmSetup() {
    }

    /** Empties the suite's token directory and writes its configuration; returns the directory of both. */
    public static Path freshTokenDirectory() throws IOException {
        String conf = System.getenv("SOFTHSM2_CONF");
        if (conf == null || conf.isEmpty()) {
            throw new IllegalStateException("SOFTHSM2_CONF is not set");
        }
        Path confPath = Paths.get(conf).toAbsolutePath();
        Path dir = confPath.getParent();
        Path tokens = dir.resolve("tokens");
        deleteTree(tokens);
        Files.createDirectories(tokens);
        Files.writeString(confPath, "directories.tokendir = " + tokens + "\nobjectstore.backend = file\n"
                + "log.level = ERROR\n", StandardCharsets.UTF_8);
        return dir;
    }

    /** Runs a tool to its end; its output, or an IOException carrying it when the tool fails. */
    public static String run(String... command) throws IOException, InterruptedException {
        Process process = new ProcessBuilder(command).redirectErrorStream(true).start();
        byte[] output = process.getInputStream().readAllBytes();
        if (!process.waitFor(120, TimeUnit.SECONDS) || process.exitValue() != 0) {
            throw new IOException(String.join(" ", command) + " failed:\n" + new String(output, StandardCharsets.UTF_8));
        }
        return new String(output, StandardCharsets.UTF_8);
    }

    /** Deletes a directory tree, if there is one. */
    public static void deleteTree(Path root) throws IOException {
        if (!Files.exists(root)) {
            return;
        }
        try (Stream<Path> paths = Files.walk(root)) {
            for (Path p : (Iterable<Path>) paths.sorted(Comparator.reverseOrder())::iterator) {
                Files.delete(p);
            }
        }
    }
}
