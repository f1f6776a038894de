package orvane.provider;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.security.InvalidParameterException;
import java.util.LinkedHashMap;
import java.util.Map;

/**
 * A provider's configuration, "key = value" lines as the JDK's PKCS#11
 * provider reads them: library (required), slotListIndex or tokenLabel, name.
 * Blank lines and lines starting with '#' are skipped; a value may be quoted.
 */
final class TokenConfig {
    final String library;
    final int slotListIndex;
    final String tokenLabel;
    final String name;

    private TokenConfig(Map<String, String> values) {
        library = values.get("library");
        tokenLabel = values.get("tokenLabel");
        name = values.get("name");
        String index = values.get("slotListIndex");
        if (library == null || library.isEmpty()) {
            throw new InvalidParameterException("The ORVNative configuration names no library");
        }
        if (index != null && tokenLabel != null) {
            throw new InvalidParameterException("The ORVNative configuration gives both slotListIndex and tokenLabel");
        }
        slotListIndex = index == null ? 0 : parseIndex(index);
    }

    /** ARG is a configuration file's path, or "--" followed by the configuration itself. */
    static TokenConfig parse(String arg) {
        if (arg == null) {
            throw new InvalidParameterException("The ORVNative configuration is missing");
        }
        String text = arg.startsWith("--") ? arg.substring(2) : read(arg);
        return new TokenConfig(lines(text));
    }

    /** "ORVNative", or "ORVNative-NAME" as the JDK names its configured PKCS#11 providers. */
    String providerName(String base) {
        return name == null ? base : base + "-" + name;
    }

    private static String read(String path) {
        try {
            return new String(Files.readAllBytes(Paths.get(path)), StandardCharsets.UTF_8);
        } catch (IOException e) {
            InvalidParameterException unreadable = new InvalidParameterException("The ORVNative configuration file "
                    + path + " cannot be read: " + e);
            unreadable.initCause(e);
            throw unreadable;
        }
    }

    private static Map<String, String> lines(String text) {
        Map<String, String> values = new LinkedHashMap<>();
        for (String raw : text.split("\\r?\\n|\\r")) {
            String line = raw.trim();
            if (line.isEmpty() || line.startsWith("#")) {
                continue;
            }
            int equals = line.indexOf('=');
            if (equals <= 0) {
                throw new InvalidParameterException("The ORVNative configuration line \"" + line
                        + "\" is not \"key = value\"");
            }
            String key = line.substring(0, equals).trim();
            if (!key.equals("library") && !key.equals("slotListIndex") && !key.equals("tokenLabel")
                    && !key.equals("name")) {
                throw new InvalidParameterException("The ORVNative configuration key \"" + key + "\" is unknown");
            }
            values.put(key, unquote(line.substring(equals + 1).trim()));
        }
        return values;
    }

    private static String unquote(String value) {
        if (value.length() >= 2 && value.startsWith("\"") && value.endsWith("\"")) {
            return value.substring(1, value.length() - 1);
        }
        return value;
    }

    private static int parseIndex(String value) {
        try {
            int index = Integer.parseInt(value);
            if (index >= 0) {
                return index;
            }
        } catch (NumberFormatException e) {
            // reported below with the value
        }
        throw new InvalidParameterException("The ORVNative configuration's slotListIndex \"" + value
                + "\" is not a slot index");
    }
}
