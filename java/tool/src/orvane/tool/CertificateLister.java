package orvane.tool;

import java.io.ByteArrayInputStream;
import java.io.PrintStream;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import orvane.clapi.crypto.PKCS11Exception;

/** The certs command: each certificate decoded by Java's own CertificateFactory. */
final class CertificateLister {
    private CertificateLister() {
    }

    static int list(TokenSession session, PrintStream out) throws PKCS11Exception, ToolException {
        int count = TokenCertificates.count(session);
        out.println("Certificates: " + count);
        for (int i = 0; i < count; i++) {
            out.println("Certificate " + i + ":");
            describe(TokenCertificates.get(session, i), out);
        }
        return ExitStatus.OK;
    }

    static void describe(byte[] der, PrintStream out) throws ToolException {
        try {
            X509Certificate cert = (X509Certificate) CertificateFactory.getInstance("X.509")
                    .generateCertificate(new ByteArrayInputStream(der));
            out.println("  Subject: " + cert.getSubjectX500Principal().getName());
            out.println("  Issuer:  " + cert.getIssuerX500Principal().getName());
            out.println("  Serial:  " + cert.getSerialNumber().toString(16));
        } catch (CertificateException e) {
            // Still show the fingerprint so the object can be identified.
            out.println("  (not a valid X.509 certificate: " + e.getMessage() + ")");
        }
        out.println("  SHA-256: " + Hex.fingerprint(sha256(der)));
    }

    static byte[] sha256(byte[] data) throws ToolException {
        try {
            return MessageDigest.getInstance("SHA-256").digest(data);
        } catch (NoSuchAlgorithmException e) {
            throw new ToolException("this Java runtime has no SHA-256: " + e.getMessage());
        }
    }
}
