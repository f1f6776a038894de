package orvane.tool;

import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/** The parsed command line. Options may stand before or after the command; "--name=value" works too. */
final class Options {
    static final int MAX_RANDOM_BYTES = 65536;

    private String module;
    private Integer slot;
    private String tokenLabel;
    private String pinEnv;
    private boolean login;
    private int certIndex;
    private SignatureMechanism mechanism = SignatureMechanism.SHA256;
    private DigestAlgorithm digest = DigestAlgorithm.SHA1;
    private String out;
    private boolean help;
    private boolean version;
    private Command command;
    private final List<String> arguments = new ArrayList<>();

    private Options() {
    }

    static Options parse(String[] args) throws UsageException {
        Options o = new Options();
        List<String> words = new ArrayList<>();
        for (int i = 0; i < args.length; i++) {
            String arg = args[i];
            if (arg.equals("--help") || arg.equals("-h")) {
                o.help = true;
            } else if (arg.equals("--version")) {
                o.version = true;
            } else if (arg.equals("--login")) {
                o.login = true;
            } else if (arg.startsWith("--")) {
                int eq = arg.indexOf('=');
                String name = eq < 0 ? arg : arg.substring(0, eq);
                String value;
                if (eq >= 0) {
                    value = arg.substring(eq + 1);
                } else if (i + 1 < args.length) {
                    value = args[++i];
                } else {
                    throw new UsageException("option " + name + " needs a value");
                }
                o.set(name, value);
            } else {
                words.add(arg);
            }
        }
        if (o.help || o.version) {
            return o;
        }
        o.setCommand(words);
        o.check();
        return o;
    }

    private void set(String name, String value) throws UsageException {
        switch (name) {
            case "--module": module = value; break;
            case "--slot": slot = nonNegative(name, value); break;
            case "--token": tokenLabel = value; break;
            case "--pin-env": pinEnv = value; break;
            case "--cert": certIndex = nonNegative(name, value); break;
            case "--mech": mechanism = SignatureMechanism.fromOption(value); break;
            case "--alg": digest = DigestAlgorithm.fromOption(value); break;
            case "--out": out = value; break;
            default: throw new UsageException("unknown option " + name);
        }
    }

    private void setCommand(List<String> words) throws UsageException {
        if (words.isEmpty()) {
            throw new UsageException("no command given");
        }
        command = Command.fromWord(words.get(0));
        arguments.addAll(words.subList(1, words.size()));
        if (arguments.size() != command.arguments()) {
            throw new UsageException(command.word() + " takes " + command.arguments() + " argument"
                    + (command.arguments() == 1 ? "" : "s") + ", got " + arguments.size());
        }
    }

    private void check() throws UsageException {
        if (module == null || module.isEmpty()) {
            throw new UsageException("--module PATH is required");
        }
        if (slot != null && tokenLabel != null) {
            throw new UsageException("--slot and --token cannot be combined");
        }
        if (pinEnv != null && pinEnv.isEmpty()) {
            throw new UsageException("--pin-env needs a variable name");
        }
        if (out != null && command != Command.SIGN) {
            throw new UsageException("--out applies to sign only");
        }
        if (command == Command.RANDOM) {
            int n = randomLength();
            if (n < 1 || n > MAX_RANDOM_BYTES) {
                throw new UsageException("random: N must be between 1 and " + MAX_RANDOM_BYTES + ", got " + n);
            }
        }
    }

    private static int nonNegative(String name, String value) throws UsageException {
        int n = integer(name, value);
        if (n < 0) {
            throw new UsageException(name + " must not be negative, got " + value);
        }
        return n;
    }

    private static int integer(String name, String value) throws UsageException {
        try {
            return Integer.parseInt(value.trim());
        } catch (NumberFormatException e) {
            throw new UsageException(name + " needs a whole number, got '" + value + "'");
        }
    }

    boolean version() {
        return version;
    }

    boolean help() {
        return help;
    }

    Command command() {
        return command;
    }

    List<String> arguments() {
        return Collections.unmodifiableList(arguments);
    }

    String argument(int index) {
        return arguments.get(index);
    }

    int randomLength() throws UsageException {
        return integer("random N", arguments.get(0));
    }

    String module() {
        return module;
    }

    /** The slot index asked for, or null when the tool should choose. */
    Integer slot() {
        return slot;
    }

    String tokenLabel() {
        return tokenLabel;
    }

    String pinEnv() {
        return pinEnv;
    }

    /** True when the user asked for a login on commands that do not need one. */
    boolean loginRequested() {
        return login || pinEnv != null;
    }

    int certIndex() {
        return certIndex;
    }

    SignatureMechanism mechanism() {
        return mechanism;
    }

    DigestAlgorithm digest() {
        return digest;
    }

    String signatureOutput() {
        return out != null ? out : arguments.get(0) + ".sig";
    }
}
