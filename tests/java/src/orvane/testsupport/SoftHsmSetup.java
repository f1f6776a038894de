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
 * token directory beside the SOFTHSM2_CONF its ctest entry names, and
 * tools/material.sh, which makes the keys and tokens (run-junit.sh names both
 * the script and the module it found).
 */
public final class SoftHsmSetup {
    public static final String MODULE = System.getProperty("orv.softhsm", "");
    public static final String MATERIAL = System.getProperty("orv.material");

    private SoftHsmSetup() {
    }

    /** Empties the suite's token directory; returns the directory the configuration sits in. */
    public static Path freshTokenDirectory() throws IOException {
        String conf = System.getenv("SOFTHSM2_CONF");
        if (conf == null || conf.isEmpty()) {
            throw new IllegalStateException("SOFTHSM2_CONF is not set");
        }
        Path dir = Paths.get(conf).toAbsolutePath().getParent();
        deleteTree(dir.resolve("tokens"));
        return dir;
    }

    /** Runs tools/material.sh (its usage says what each command makes); its output. */
    public static String material(Object... args) throws IOException, InterruptedException {
        String[] command = new String[args.length + 2];
        command[0] = "sh";
        command[1] = MATERIAL;
        for (int i = 0; i < args.length; i++) {
            command[i + 2] = args[i].toString();
        }
        return run(command);
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
