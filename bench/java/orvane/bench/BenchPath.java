package orvane.bench;

import java.util.List;

/** One way of reaching the token: our natives, the same calls made directly, or the JDK's provider. */
interface BenchPath extends AutoCloseable {
    String name();

    /** False where the path has no way to do the operation. */
    boolean supports(Operation operation);

    /** The operation's output, for checking: bytes, certificates, or {1}/{0} for a verification. */
    List<byte[]> result(Operation operation) throws Exception;

    /** The verification of a corrupted signature: {1} if accepted. */
    List<byte[]> resultOfBadVerify() throws Exception;

    /** Runs whole batches until the budget is spent (one batch for 0). */
    Sample run(Operation operation, int batch, long budgetMillis) throws Exception;

    @Override
    void close() throws Exception;
}
