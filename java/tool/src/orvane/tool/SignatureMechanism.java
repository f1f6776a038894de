package orvane.tool;

import orvane.clapi.crypto.PKCS11Slot;

/** The hash-and-sign RSA mechanisms the tool offers, with the matching Java algorithm name. */
enum SignatureMechanism {
    SHA1("sha1", PKCS11Slot.CKM_SHA1_RSA_PKCS, "SHA1withRSA"),
    SHA256("sha256", PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");

    private final String option;
    private final int mechanism;
    private final String javaName;

    SignatureMechanism(String option, int mechanism, String javaName) {
        this.option = option;
        this.mechanism = mechanism;
        this.javaName = javaName;
    }

    int mechanism() {
        return mechanism;
    }

    String javaName() {
        return javaName;
    }

    String option() {
        return option;
    }

    static SignatureMechanism fromOption(String value) throws UsageException {
        for (SignatureMechanism m : values()) {
            if (m.option.equalsIgnoreCase(value)) {
                return m;
            }
        }
        throw new UsageException("unknown mechanism '" + value + "' (use sha1 or sha256)");
    }
}
