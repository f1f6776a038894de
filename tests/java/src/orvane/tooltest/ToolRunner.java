package orvane.tooltest;

import static orvane.testsupport.SoftHsmSetup.requiredEnv;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.TimeUnit;


/**
 * Runs the token tool (or another class of its jar) in a child JVM, as a user
 * would, with -Xcheck:jni so JNI misuse in the bridge shows in its output.
 */
final class ToolRunner {
    private static final String TOOL = "orvane.tool.TokenTool";

    record Result(int exit, String out, String err) {
        String all() {
            return out + err;
        }

        @Override
        public String toString() {
            return "exit " + exit + "\n--- stdout ---\n" + out + "--- stderr ---\n" + err;
        }
    }

    private final String softhsmConf;

    ToolRunner(String softhsmConf) {
        this.softhsmConf = softhsmConf;
    }

    Result tool(Map<String, String> env, String... args) throws IOException, InterruptedException {
        return run(TOOL, env, args);
    }

    Result run(String mainClass, Map<String, String> env, String... args) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(Arrays.asList(
                Path.of(System.getProperty("java.home"), "bin", "java").toString(),
                "-Xcheck:jni",
                "-Djava.library.path=" + requiredEnv("ORV_LIBRARY_DIR"),
                "-cp", requiredEnv("ORV_TOOL_JAR") + File.pathSeparator + requiredEnv("ORV_JAR"),
                mainClass));
        command.addAll(Arrays.asList(args));
        ProcessBuilder builder = new ProcessBuilder(command);
        builder.environment().put("SOFTHSM2_CONF", softhsmConf);
        // A log the developer's shell asks for would change what the child writes.
        builder.environment().remove("ORVNATIVE_LOG");
        builder.environment().putAll(env);
        Path out = Files.createTempFile("orvtool", ".out");
        Path err = Files.createTempFile("orvtool", ".err");
        try {
            builder.redirectOutput(out.toFile()).redirectError(err.toFile());
            Process process = builder.start();
            if (!process.waitFor(60, TimeUnit.SECONDS)) {
                process.destroyForcibly();
                throw new AssertionError("the tool did not finish within 60 s: " + command);
            }
            return new Result(process.exitValue(), Files.readString(out, StandardCharsets.UTF_8),
                    Files.readString(err, StandardCharsets.UTF_8));
        } finally {
            Files.deleteIfExists(out);
            Files.deleteIfExists(err);
        }
    }
}
