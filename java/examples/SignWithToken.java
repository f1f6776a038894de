package orvane.example;

import java.io.ByteArrayInputStream;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.security.MessageDigest;
import java.security.Signature;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/**
 * Signs a file with the key of the first certificate on the token with a
 * given label: once letting the token hash the data, once over a SHA-256 hash
 * computed beforehand; then verifies both. The PIN comes from the variable
 * TOKEN_PIN, never from the command line:
 *
 * <pre>
 * TOKEN_PIN=... java -Djava.library.path=DIR -cp orvnative.jar:. orvane.example.SignWithToken MODULE LABEL FILE
 * </pre>
 */
public final class SignWithToken {
    /** A DigestInfo naming SHA-256, in DER, up to the 32 bytes of the hash (RFC 8017, section 9.2). */
    private static final byte[] SHA256_DIGEST_INFO_PREFIX = {
        0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, (byte) 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01,
        0x05, 0x00, 0x04, 0x20};

    private SignWithToken() {
    }

    public static void main(String[] args) throws Exception {
        String modulePath = args[0];
        String label = args[1];
        byte[] data = Files.readAllBytes(Paths.get(args[2]));
        String pin = System.getenv("TOKEN_PIN");

        // The first use of PKCS11Module loads ORVNative from java.library.path.
        int module = PKCS11Module.loadLibrary(modulePath);
        int slot = slotIndexOf(module, label);
        PKCS11Slot.openSession(module, slot);
        try {
            PKCS11Slot.login(module, slot, pin, PKCS11Slot.CKU_USER);
            try {
                signAndVerify(module, slot, data);
            } finally {
                PKCS11Slot.logout(module, slot);
            }
        } finally {
            PKCS11Slot.closeSession(module, slot);
        }
    }

    /** Slot indexes count the slots holding a token; a token is found by its label, blank-padded to 32. */
    private static int slotIndexOf(int module, String label) throws PKCS11Exception {
        int slots = PKCS11Module.getNumberOfSlots(module);
        for (int index = 0; index < slots; index++) {
            String tokenLabel = PKCS11Slot.getTokenInfo(module, index).getLabel();
            if (tokenLabel.replaceAll(" +$", "").equals(label)) {
                return index;
            }
        }
        throw new IllegalArgumentException("no token labelled " + label);
    }

    private static void signAndVerify(int module, int slot, byte[] data) throws Exception {
        // The certificate names the key pair: the token signs with the private
        // key and verifies with the public key that share its CKA_ID.
        byte[] certificate = PKCS11Slot.getCertificate(module, slot, PKCS11Slot.CKC_X_509, 0);

        byte[] signature = PKCS11Slot.signData(module, slot, certificate, data, PKCS11Slot.CKM_SHA256_RSA_PKCS);

        // A hash computed elsewhere: CKM_RSA_PKCS pads and signs what it is
        // given, so it gets the whole DigestInfo, not the bare hash.
        byte[] hash = MessageDigest.getInstance("SHA-256").digest(data);
        byte[] digestInfo = new byte[SHA256_DIGEST_INFO_PREFIX.length + hash.length];
        System.arraycopy(SHA256_DIGEST_INFO_PREFIX, 0, digestInfo, 0, SHA256_DIGEST_INFO_PREFIX.length);
        System.arraycopy(hash, 0, digestInfo, SHA256_DIGEST_INFO_PREFIX.length, hash.length);
        byte[] hashSignature = PKCS11Slot.signData(module, slot, certificate, digestInfo, PKCS11Slot.CKM_RSA_PKCS);

        // verifyData answers false for a signature that does not match; it
        // throws only when the check itself fails.
        boolean tokenVerifies = PKCS11Slot.verifyData(module, slot, certificate, data, hashSignature,
                PKCS11Slot.CKM_SHA256_RSA_PKCS);

        Signature verifier = Signature.getInstance("SHA256withRSA");
        X509Certificate x509 = (X509Certificate) CertificateFactory.getInstance("X.509")
                .generateCertificate(new ByteArrayInputStream(certificate));
        verifier.initVerify(x509.getPublicKey());
        verifier.update(data);
        boolean javaVerifies = verifier.verify(signature);

        System.out.println("signature: " + hex(signature));
        System.out.println("hash signature: " + hex(hashSignature));
        System.out.println("token verifies the hash signature: " + tokenVerifies);
        System.out.println("Java verifies the signature: " + javaVerifies);
    }

    private static String hex(byte[] bytes) {
        StringBuilder text = new StringBuilder(bytes.length * 2);
        for (byte b : bytes) {
            text.append(String.format("%02x", b & 0xff));
        }
        return text.toString();
    }
}
