package orvane.clapi.crypto;

/** A failure in a PKCS#11 module or in the bridge to it; the message ends in the CKR name where one applies. */
public class PKCS11Exception extends Exception {
    private static final long serialVersionUID = 1L;

    public PKCS11Exception(String message) {
        super(message);
    }
}
