package orvane.tool;

import java.io.PrintStream;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** The sign and verify commands: the token hashes and signs with the key that shares the certificate's CKA_ID. */
final class Signer {
    private Signer() {
    }

    static int sign(TokenSession session, Options options, PrintStream out) throws PKCS11Exception, ToolException {
        String file = options.argument(0);
        byte[] data = FileIO.readAll(file);
        byte[] cert = TokenCertificates.get(session, options.certIndex());
        SignatureMechanism mech = options.mechanism();
        byte[] signature = PKCS11Slot.signData(session.moduleId(), session.slotIndex(), cert, data, mech.mechanism());
        String target = options.signatureOutput();
        FileIO.write(target, signature);
        out.println("Signed " + file + " (" + data.length + " bytes) with certificate " + options.certIndex()
                + " using " + mech.javaName() + "; " + signature.length + "-byte signature written to " + target);
        return ExitStatus.OK;
    }

    static int verify(TokenSession session, Options options, PrintStream out) throws PKCS11Exception, ToolException {
        byte[] data = FileIO.readAll(options.argument(0));
        byte[] signature = FileIO.readAll(options.argument(1));
        byte[] cert = TokenCertificates.get(session, options.certIndex());
        boolean valid;
        try {
            valid = PKCS11Slot.verifyData(session.moduleId(), session.slotIndex(), cert, data, signature,
                    options.mechanism().mechanism());
        } catch (PKCS11Exception e) {
            // A signature of the wrong length can never be valid; the token just says so differently.
            if (e.getMessage() == null || !e.getMessage().endsWith("CKR_SIGNATURE_LEN_RANGE")) {
                throw e;
            }
            out.println("Signature INVALID (wrong length: " + signature.length + " bytes)");
            return ExitStatus.SIGNATURE_INVALID;
        }
        out.println(valid ? "Signature valid" : "Signature INVALID");
        return valid ? ExitStatus.OK : ExitStatus.SIGNATURE_INVALID;
    }
}
