package orvane.tool;

/** The tool's commands and how many file or number arguments each takes. */
enum Command {
    SLOTS("slots", 0),
    CERTS("certs", 0),
    SIGN("sign", 1),
    VERIFY("verify", 2),
    DIGEST("digest", 1),
    RANDOM("random", 1);

    private final String word;
    private final int arguments;

    Command(String word, int arguments) {
        this.word = word;
        this.arguments = arguments;
    }

    String word() {
        return word;
    }

    int arguments() {
        return arguments;
    }

    static Command fromWord(String word) throws UsageException {
        for (Command c : values()) {
            if (c.word.equals(word)) {
                return c;
            }
        }
        throw new UsageException("unknown command '" + word + "'");
    }
}
