package orvane.bench;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.List;

/** What the set-up script left in the work directory. */
final class Inputs {
    final Path work;
    final byte[] certificate;
    final X509Certificate x509;
    final byte[] data1k;
    final byte[] data1m;
    final byte[] signature;
    final byte[] badSignature;
    final byte[] secret;
    final byte[] cipherText;
    final String sha1Of1k;
    final String sha1Of1m;

    Inputs(Path work) throws IOException, CertificateException {
        this.work = work;
        certificate = Files.readAllBytes(work.resolve("cert.der"));
        x509 = parse(certificate);
        data1k = Files.readAllBytes(work.resolve("data-1k.bin"));
        data1m = Files.readAllBytes(work.resolve("data-1m.bin"));
        signature = Files.readAllBytes(work.resolve("data-1k.sha256.sig"));
        badSignature = signature.clone();
        badSignature[badSignature.length / 2] ^= 0x01;
        secret = Files.readAllBytes(work.resolve("secret.bin"));
        cipherText = Files.readAllBytes(work.resolve("secret.enc"));
        sha1Of1k = opensslDigest("data-1k.sha1");
        sha1Of1m = opensslDigest("data-1m.sha1");
    }

    /** Slot id of a token, as the set-up script recorded it. */
    long slotOf(String label) throws IOException {
        for (String line : Files.readAllLines(work.resolve("slots.txt"), StandardCharsets.US_ASCII)) {
            String[] words = line.trim().split("\\s+");
            if (words.length == 2 && words[0].equals(label)) {
                return Long.parseLong(words[1]);
            }
        }
        throw new IOException("no slot recorded for " + label);
    }

    /** The certificates the set-up script stored on a listing token. */
    List<X509Certificate> storedCertificates(Operation.Token token) throws IOException, CertificateException {
        List<X509Certificate> stored = new ArrayList<>();
        if (token == Operation.Token.MAIN) {
            stored.add(x509);
            return stored;
        }
        try (var files = Files.list(work.resolve(token.label))) {
            for (Path file : (Iterable<Path>) files.sorted()::iterator) {
                if (file.toString().endsWith(".der")) {
                    stored.add(parse(Files.readAllBytes(file)));
                }
            }
        }
        return stored;
    }

    static X509Certificate parse(byte[] encoded) throws CertificateException {
        return (X509Certificate) CertificateFactory.getInstance("X.509")
                .generateCertificate(new ByteArrayInputStream(encoded));
    }

    // The first word of `openssl dgst -r`'s line.
    private String opensslDigest(String name) throws IOException {
        return Files.readString(work.resolve(name), StandardCharsets.US_ASCII).trim().split("\\s+")[0];
    }
}
