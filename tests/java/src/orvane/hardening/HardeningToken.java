package orvane.hardening;

import static orvane.testsupport.SoftHsmSetup.material;
import static orvane.testsupport.SoftHsmSetup.run;

import java.nio.file.Files;
import java.nio.file.Path;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.testsupport.SoftHsmSetup;

/**
 * The SoftHSM2 tokens of this JVM, made from scratch (SoftHSM2 accepts
 * C_Initialize once per process, so the module is loaded once, here): one
 * with an RSA-2048 key pair and its certificate for the long runs, and tokens
 * whose labels hold UTF-8 beyond the Basic Multilingual Plane, stray bytes,
 * and zero bytes in place of the blanks.
 */
final class HardeningToken {
    static final String LABEL = "orv-hardening";
    static final String SO_PIN = "10293847";
    static final String PIN = "564738";
    /** Labels as raw bytes (printf escapes), each made into a token. */
    static final String[] RAW_LABELS = {
        // "Schlüssel für 🔑 x" with ü in UTF-8, ü of "für" as the Latin-1 byte FC.
        "Schl\\303\\274ssel f\\374r \\360\\237\\224\\221 x",
        // Valid UTF-8 filling all 32 bytes, a four-byte character last.
        "\\344\\270\\255\\346\\226\\207 caf\\303\\251 \\360\\237\\224\\221 \\342\\202\\254 abcdef\\360\\237\\230\\200",
    };
    /** "nul-padded" and 22 zero bytes, in hex: a label no tool can give. */
    static final String NUL_PADDED_LABEL = "6e756c2d706164646564" + "00".repeat(22);

    private static HardeningToken token;

    final int moduleId;
    final int slotIndex;
    final byte[] certificate;

    static synchronized HardeningToken get() throws Exception {
        if (token == null) {
            token = new HardeningToken();
        }
        return token;
    }

    private HardeningToken() throws Exception {
        Path dir = SoftHsmSetup.freshTokenDirectory();
        material("keypair", dir, LABEL);
        material("token", dir, LABEL, SO_PIN, PIN, LABEL);
        for (String raw : RAW_LABELS) {
            run("sh", "-c", "sh \"$0\" token \"$1\" \"$(printf \"$2\")\" \"$3\" \"$4\"",
                    SoftHsmSetup.MATERIAL, dir.toString(), raw, SO_PIN, PIN);
        }
        run(System.getenv("ORV_INIT_TOKEN_LABEL"), SoftHsmSetup.MODULE, SO_PIN, NUL_PADDED_LABEL);
        certificate = Files.readAllBytes(dir.resolve(LABEL + ".der"));

        moduleId = PKCS11Module.loadLibrary(SoftHsmSetup.MODULE);
        slotIndex = slotOf(moduleId, LABEL);
    }

    /** The slot index whose token carries the label (blank padding aside). */
    static int slotOf(int moduleId, String label) throws PKCS11Exception {
        int slots = PKCS11Module.getNumberOfSlots(moduleId);
        for (int i = 0; i < slots; i++) {
            if (PKCS11Slot.getTokenInfo(moduleId, i).getLabel().stripTrailing().equals(label)) {
                return i;
            }
        }
        throw new IllegalStateException("no token labelled " + label + " among " + slots + " slots");
    }
}
