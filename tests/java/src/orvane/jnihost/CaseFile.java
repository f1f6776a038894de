package orvane.jnihost;

import java.io.IOException;
import java.nio.file.DirectoryStream;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.List;
import java.util.Map;
import java.util.stream.Collectors;

/**
 * The native cases as data, read exactly as the C++ host reads them (see
 * tests/jnihost/CaseFile.h for the format). This JVM runs as platform "linux".
 */
final class CaseFile {
    static final String PLATFORM = "linux";

    /** One statement, its text and the expectation for this platform. */
    static final class Statement {
        int line;
        String text;
        List<String> tokens;
        boolean hasExpectation;
        String expected;
    }

    private final Map<String, String> vars;
    private final Path material;
    private final List<Statement> statements = new ArrayList<>();

    CaseFile(Path path, Map<String, String> vars, Path material) throws IOException {
        this.vars = vars;
        this.material = material;
        int number = 0;
        boolean lastApplies = false;
        for (String raw : Files.readAllLines(path)) {
            ++number;
            String line = raw.trim();
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            String platforms = "";
            if (line.startsWith("[")) {
                int close = line.indexOf(']');
                if (close < 0) {
                    throw new IOException("line " + number + ": unclosed platform list");
                }
                platforms = line.substring(1, close);
                line = line.substring(close + 1).trim();
            }
            boolean applies = appliesHere(platforms);
            if (line.startsWith("=> ")) {
                if (statements.isEmpty() || !statements.get(statements.size() - 1).hasExpectation) {
                    throw new IOException("line " + number + ": an override follows no statement with an expectation");
                }
                if (applies && lastApplies) {
                    statements.get(statements.size() - 1).expected = substitute(line.substring(3), number);
                }
                continue;
            }
            if (line.startsWith("cover ")) {
                // Read by the C++ host's coverage check only.
                lastApplies = false;
                continue;
            }
            lastApplies = applies;
            if (!applies) {
                continue;
            }
            Statement s = new Statement();
            s.line = number;
            int arrow = arrowAt(line);
            s.text = substitute((arrow < 0 ? line : line.substring(0, arrow)).trim(), number);
            if (arrow >= 0) {
                s.hasExpectation = true;
                s.expected = substitute(line.substring(arrow + 4), number);
            }
            s.tokens = tokenize(s.text);
            statements.add(s);
        }
    }

    List<Statement> statements() {
        return statements;
    }

    private static boolean appliesHere(String platforms) {
        return platforms.isEmpty() || Arrays.stream(platforms.split(",")).anyMatch(n -> n.trim().equals(PLATFORM));
    }

    private static int arrowAt(String s) {
        boolean quoted = false;
        for (int i = 0; i < s.length(); ++i) {
            char c = s.charAt(i);
            if (quoted && c == '\\') {
                ++i;
            } else if (c == '"') {
                quoted = !quoted;
            } else if (!quoted && s.startsWith(" => ", i)) {
                return i;
            }
        }
        return -1;
    }

    private String substitute(String text, int line) throws IOException {
        StringBuilder out = new StringBuilder();
        int at = 0;
        while (true) {
            int open = text.indexOf("${", at);
            if (open < 0) {
                return out.append(text.substring(at)).toString();
            }
            int close = text.indexOf('}', open);
            if (close < 0) {
                throw new IOException("line " + line + ": unclosed ${");
            }
            out.append(text, at, open);
            String name = text.substring(open + 2, close);
            if (name.startsWith("bytes:")) {
                out.append(renderBytes(Files.readAllBytes(material.resolve(name.substring(6)))));
            } else if (name.startsWith("list:")) {
                out.append(renderList(renderFiles(name.substring(5))));
            } else if (name.startsWith("hex:")) {
                out.append(HexFormat.of().formatHex(Files.readAllBytes(material.resolve(name.substring(4)))));
            } else if (vars.containsKey(name)) {
                out.append(vars.get(name));
            } else {
                throw new IOException("line " + line + ": no variable " + name);
            }
            at = close + 1;
        }
    }

    private List<String> renderFiles(String prefix) throws IOException {
        List<String> rendered = new ArrayList<>();
        try (DirectoryStream<Path> dir = Files.newDirectoryStream(material)) {
            for (Path p : dir) {
                if (p.getFileName().toString().startsWith(prefix)) {
                    rendered.add(renderBytes(Files.readAllBytes(p)));
                }
            }
        }
        return rendered;
    }

    static List<String> tokenize(String text) {
        List<String> tokens = new ArrayList<>();
        int i = 0;
        while (i < text.length()) {
            char c = text.charAt(i);
            if (c == ' ' || c == '\t') {
                ++i;
                continue;
            }
            StringBuilder token = new StringBuilder();
            boolean quoted = false;
            while (i < text.length() && (quoted || (text.charAt(i) != ' ' && text.charAt(i) != '\t'))) {
                if (quoted && text.charAt(i) == '\\' && i + 1 < text.length()) {
                    token.append(text.charAt(i++));
                } else if (text.charAt(i) == '"') {
                    quoted = !quoted;
                }
                token.append(text.charAt(i++));
            }
            tokens.add(token.toString());
        }
        return tokens;
    }

    static String unquote(String token) {
        int open = token.indexOf('"');
        if (open < 0 || token.length() < open + 2 || !token.endsWith("\"")) {
            throw new IllegalArgumentException("not a quoted string: " + token);
        }
        StringBuilder out = new StringBuilder();
        for (int i = open + 1; i + 1 < token.length(); ++i) {
            char c = token.charAt(i);
            if (c != '\\') {
                out.append(c);
                continue;
            }
            char e = token.charAt(++i);
            switch (e) {
                case 'n' -> out.append('\n');
                case 't' -> out.append('\t');
                case 'u' -> {
                    out.append((char) Integer.parseInt(token.substring(i + 1, i + 5), 16));
                    i += 4;
                }
                default -> out.append(e);
            }
        }
        return out.toString();
    }

    static String renderBytes(byte[] bytes) {
        StringBuilder out = new StringBuilder("bytes[").append(bytes.length).append(']');
        if (bytes.length > 64) {
            try {
                out.append(" sha1 ").append(HexFormat.of().formatHex(MessageDigest.getInstance("SHA-1").digest(bytes)));
            } catch (NoSuchAlgorithmException e) {
                throw new IllegalStateException(e);
            }
        } else if (bytes.length > 0) {
            out.append(' ').append(HexFormat.of().formatHex(bytes));
        }
        return out.toString();
    }

    static String renderList(List<String> items) {
        return "list[" + items.size() + "]"
                + items.stream().sorted().map(item -> " " + item).collect(Collectors.joining());
    }

    static boolean matches(String expected, String actual) {
        String wildcard = "{hex}";
        int e = 0;
        int a = 0;
        while (true) {
            int next = expected.indexOf(wildcard, e);
            String piece = next < 0 ? expected.substring(e) : expected.substring(e, next);
            if (!actual.startsWith(piece, a)) {
                return false;
            }
            a += piece.length();
            if (next < 0) {
                return a == actual.length();
            }
            int start = a;
            while (a < actual.length() && "0123456789abcdef".indexOf(actual.charAt(a)) >= 0) {
                ++a;
            }
            if (a == start) {
                return false;
            }
            e = next + wildcard.length();
        }
    }
}
