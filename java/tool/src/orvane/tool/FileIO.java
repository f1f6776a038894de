package orvane.tool;

import java.io.IOException;
import java.io.InputStream;
import java.nio.file.AccessDeniedException;
import java.nio.file.Files;
import java.nio.file.NoSuchFileException;
import java.nio.file.Path;
import java.nio.file.Paths;

/** File access with one-line errors instead of stack traces. */
final class FileIO {
    /** Single-part token operations hold the whole input twice (Java and native copy). */
    static final long MAX_WHOLE_FILE = 64L * 1024 * 1024;

    private FileIO() {
    }

    static byte[] readAll(String name) throws ToolException {
        Path path = existingFile(name);
        try {
            if (Files.size(path) > MAX_WHOLE_FILE) {
                throw new ToolException(name + " is larger than " + (MAX_WHOLE_FILE >> 20) + " MiB");
            }
            return Files.readAllBytes(path);
        } catch (IOException e) {
            throw failure("cannot read", name, e);
        }
    }

    static InputStream open(String name) throws ToolException {
        Path path = existingFile(name);
        try {
            return Files.newInputStream(path);
        } catch (IOException e) {
            throw failure("cannot read", name, e);
        }
    }

    static void write(String name, byte[] data) throws ToolException {
        try {
            Files.write(Paths.get(name), data);
        } catch (IOException e) {
            throw failure("cannot write", name, e);
        }
    }

    private static Path existingFile(String name) throws ToolException {
        Path path = Paths.get(name);
        if (!Files.exists(path)) {
            throw new ToolException("cannot read " + name + ": no such file");
        }
        if (Files.isDirectory(path)) {
            throw new ToolException("cannot read " + name + ": it is a directory");
        }
        return path;
    }

    static ToolException failure(String what, String name, IOException e) {
        String reason;
        if (e instanceof NoSuchFileException) {
            reason = "no such file or directory";
        } else if (e instanceof AccessDeniedException) {
            reason = "permission denied";
        } else {
            reason = e.getMessage() != null ? e.getMessage() : e.getClass().getSimpleName();
        }
        return new ToolException(what + " " + name + ": " + reason);
    }
}
