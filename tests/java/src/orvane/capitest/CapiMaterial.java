package orvane.capitest;

import java.nio.file.Files;
import java.nio.file.Path;
import java.security.PublicKey;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.io.ByteArrayInputStream;

/** The certificates provision-junit.sh stored (or kept out of the stores). */
final class CapiMaterial {
    static final String ENHANCED = "Microsoft Enhanced Cryptographic Provider v1.0";
    static final long NTE_BAD_DATA = (int) 0x80090005;
    static final long NTE_NO_KEY = (int) 0x8009000D;
    static final long NTE_KEYSET_NOT_DEF = (int) 0x80090019;

    private CapiMaterial() {
    }

    static byte[] der(String name) throws Exception {
        return Files.readAllBytes(Path.of(System.getenv("ORV_WIN32_ROOT"), "material", name + ".der"));
    }

    static PublicKey publicKey(String name) throws Exception {
        CertificateFactory factory = CertificateFactory.getInstance("X.509");
        X509Certificate certificate =
                (X509Certificate) factory.generateCertificate(new ByteArrayInputStream(der(name)));
        return certificate.getPublicKey();
    }

    static byte[] reversed(byte[] bytes) {
        byte[] out = new byte[bytes.length];
        for (int i = 0; i < bytes.length; ++i) {
            out[i] = bytes[bytes.length - 1 - i];
        }
        return out;
    }

    /** The description format of the library's exceptions. */
    static String description(String message, long code) {
        return String.format("%s. Error code HEX: 0x%X. Error code dec: %d.\n", message, (int) code, (int) code);
    }
}
