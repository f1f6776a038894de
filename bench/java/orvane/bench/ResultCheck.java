package orvane.bench;

import java.security.MessageDigest;
import java.security.Signature;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.List;

/** What each path's output must be, checked by independent means before anything is timed. */
final class ResultCheck {
    private final Inputs inputs;

    ResultCheck(Inputs inputs) {
        this.inputs = inputs;
    }

    /** Throws IllegalStateException naming the path and operation when an output is wrong. */
    void check(BenchPath path, Operation operation) throws Exception {
        List<byte[]> result = path.result(operation);
        String where = path.name() + " " + operation.title + ": ";
        switch (operation) {
            case VERIFY:
                require(single(where, result)[0] == 1, where + "a valid signature was refused");
                require(single(where, path.resultOfBadVerify())[0] == 0, where + "a corrupted signature was accepted");
                break;
            case RANDOM_32:
                checkOutput(where, operation, result);
                require(!Arrays.equals(result.get(0), single(where, path.result(operation))),
                        where + "two draws gave the same bytes");
                break;
            default:
                checkOutput(where, operation, result);
        }
    }

    /** The same for one output alone, such as the last of a timed loop; where names it. */
    void checkOutput(String where, Operation operation, List<byte[]> result) throws Exception {
        switch (operation) {
            case SIGN_SHA1:
                requireSignature(where, "SHA1withRSA", single(where, result));
                break;
            case SIGN_SHA256:
                byte[] signature = single(where, result);
                requireSignature(where, "SHA256withRSA", signature);
                require(Arrays.equals(signature, inputs.signature), where + "differs from openssl's signature");
                break;
            case DECRYPT:
                require(Arrays.equals(single(where, result), inputs.secret), where + "wrong plaintext");
                break;
            case DIGEST_1K:
            case DIGEST_1M:
                String expected = operation == Operation.DIGEST_1K ? inputs.sha1Of1k : inputs.sha1Of1m;
                String actual = HexFormat.of().formatHex(single(where, result));
                require(actual.equals(expected), where + actual + " differs from openssl's " + expected);
                break;
            case RANDOM_32:
                require(single(where, result).length == 32, where + "not 32 bytes");
                break;
            case TOKEN_INFO:
                String label = new String(single(where, result), java.nio.charset.StandardCharsets.UTF_8);
                require(label.length() == 32 && label.trim().equals(operation.token.label),
                        where + "label '" + label + "'");
                break;
            default:
                requireCertificates(where, operation, result);
        }
    }

    private byte[] single(String where, List<byte[]> result) {
        require(result.size() == 1 && result.get(0) != null, where + "expected one output, got " + result.size());
        return result.get(0);
    }

    private void requireSignature(String where, String algorithm, byte[] signature) throws Exception {
        Signature verifier = Signature.getInstance(algorithm, "SunRsaSign");
        verifier.initVerify(inputs.x509.getPublicKey());
        verifier.update(inputs.data1k);
        require(verifier.verify(signature), where + "java.security rejects the signature");
    }

    // The same certificates as stored, in any order, each exactly once.
    private void requireCertificates(String where, Operation operation, List<byte[]> listed) throws Exception {
        List<String> expected = new ArrayList<>();
        for (X509Certificate stored : inputs.storedCertificates(operation.token)) {
            expected.add(fingerprint(stored.getEncoded()));
        }
        List<String> actual = new ArrayList<>();
        for (byte[] encoded : listed) {
            actual.add(fingerprint(Inputs.parse(encoded).getEncoded()));
        }
        expected.sort(null);
        actual.sort(null);
        require(expected.size() == operation.listedCertificates(), where + "set-up stored " + expected.size());
        require(expected.equals(actual), where + "listed " + actual.size() + " certificates, not the "
                + expected.size() + " stored");
    }

    private static String fingerprint(byte[] encoded) throws Exception {
        return HexFormat.of().formatHex(MessageDigest.getInstance("SHA-256").digest(encoded));
    }

    private static void require(boolean condition, String failure) {
        if (!condition) {
            throw new IllegalStateException(failure);
        }
    }
}
