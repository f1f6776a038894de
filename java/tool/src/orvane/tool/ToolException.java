package orvane.tool;

/** A failure the user can act on (missing file, bad index, no PIN); reported as one line. */
final class ToolException extends Exception {
    private static final long serialVersionUID = 1L;

    ToolException(String message) {
        super(message);
    }
}
