package orvane.tool;

/** Exit statuses of the tool, so scripts can tell a bad signature from a broken run. */
final class ExitStatus {
    static final int OK = 0;
    static final int SIGNATURE_INVALID = 1;
    static final int USAGE = 2;
    static final int FAILURE = 3;

    private ExitStatus() {
    }
}
