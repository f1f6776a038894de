package orvane.tool;

/** A command line the tool cannot make sense of; reported with the usage text and exit status 2. */
final class UsageException extends Exception {
    private static final long serialVersionUID = 1L;

    UsageException(String message) {
        super(message);
    }
}
