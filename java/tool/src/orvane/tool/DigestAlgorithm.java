package orvane.tool;

import orvane.clapi.crypto.PKCS11Slot;

/**
 * Digests the token can return through the bridge. The bridge's result buffer
 * holds 20 bytes, so SHA-256 and longer digests are deliberately not offered.
 */
enum DigestAlgorithm {
    SHA1("sha1", PKCS11Slot.CKM_SHA_1),
    MD5("md5", PKCS11Slot.CKM_MD5);

    private final String option;
    private final int mechanism;

    DigestAlgorithm(String option, int mechanism) {
        this.option = option;
        this.mechanism = mechanism;
    }

    int mechanism() {
        return mechanism;
    }

    String option() {
        return option;
    }

    static DigestAlgorithm fromOption(String value) throws UsageException {
        for (DigestAlgorithm a : values()) {
            if (a.option.equalsIgnoreCase(value)) {
                return a;
            }
        }
        throw new UsageException("unknown digest algorithm '" + value
                + "' (use sha1 or md5; the bridge returns at most 20 bytes, so no sha256)");
    }
}
