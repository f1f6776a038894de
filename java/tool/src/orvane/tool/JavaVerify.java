package orvane.tool;

import java.io.ByteArrayInputStream;
import java.security.GeneralSecurityException;
import java.security.Signature;
import java.security.SignatureException;
import java.security.cert.Certificate;
import java.security.cert.CertificateFactory;

/**
 * Checks a signature with Java's own providers and a certificate file (PEM or
 * DER), never touching the token or the bridge: an independent witness for
 * what the token signed.
 * Usage: JavaVerify CERT FILE SIG [sha1|sha256]
 */
public final class JavaVerify {
    private JavaVerify() {
    }

    public static void main(String[] args) {
        System.exit(run(args));
    }

    private static int run(String[] args) {
        if (args.length < 3 || args.length > 4) {
            System.err.println("Usage: JavaVerify CERT FILE SIG [sha1|sha256]");
            return ExitStatus.USAGE;
        }
        try {
            SignatureMechanism mech = args.length == 4
                    ? SignatureMechanism.fromOption(args[3]) : SignatureMechanism.SHA256;
            Certificate cert = CertificateFactory.getInstance("X.509")
                    .generateCertificate(new ByteArrayInputStream(FileIO.readAll(args[0])));
            Signature verifier = Signature.getInstance(mech.javaName());
            verifier.initVerify(cert.getPublicKey());
            verifier.update(FileIO.readAll(args[1]));
            boolean valid = verifies(verifier, FileIO.readAll(args[2]));
            System.out.println("Java " + mech.javaName() + " (" + verifier.getProvider().getName() + "): signature "
                    + (valid ? "valid" : "INVALID"));
            return valid ? ExitStatus.OK : ExitStatus.SIGNATURE_INVALID;
        } catch (UsageException e) {
            System.err.println("error: " + e.getMessage());
            return ExitStatus.USAGE;
        } catch (ToolException | GeneralSecurityException e) {
            System.err.println("error: " + e.getMessage());
            return ExitStatus.FAILURE;
        }
    }

    /** A malformed signature (wrong length) is simply not a valid one. */
    private static boolean verifies(Signature verifier, byte[] signature) {
        try {
            return verifier.verify(signature);
        } catch (SignatureException e) {
            return false;
        }
    }
}
