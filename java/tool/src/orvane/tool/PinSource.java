package orvane.tool;

import java.io.Console;

/** Where the user PIN comes from: a named environment variable, or the console without echo. */
final class PinSource {
    private final String envName;

    PinSource(String envName) {
        this.envName = envName;
    }

    /** True when the PIN will be asked for on the console (and a prompt needs the token's label). */
    boolean fromConsole() {
        return envName == null;
    }

    /** The PIN as a fresh char[] the caller must wipe. */
    char[] read(String tokenLabel) throws ToolException {
        if (envName != null) {
            String value = System.getenv(envName);
            if (value == null || value.isEmpty()) {
                throw new ToolException("environment variable " + envName + " is not set or empty");
            }
            return value.toCharArray();
        }
        Console console = System.console();
        if (console == null) {
            throw new ToolException("no console to read the PIN from; use --pin-env NAME");
        }
        char[] pin = console.readPassword("User PIN for token '%s': ", tokenLabel);
        if (pin == null || pin.length == 0) {
            throw new ToolException("no PIN entered");
        }
        return pin;
    }
}
