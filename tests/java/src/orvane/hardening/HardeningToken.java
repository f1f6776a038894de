package orvane.hardening;

import static orvane.testsupport.SoftHsmSetup.run;

import java.nio.file.Files;
import java.nio.file.Path;

import orvane.clapi.crypto.PKCS11Module;
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
        return token != null ? token : (token = new HardeningToken());
    }

    private HardeningToken() throws Exception {
        Path dir = SoftHsmSetup.freshTokenDirectory();
        SoftHsmSetup.keyToken(dir, LABEL, SO_PIN, PIN);
        for (String raw : RAW_LABELS) {
            run("sh", "-c", "sh \"$0\" token \"$1\" \"$(printf \"$2\")\" \"$3\" \"$4\"",
                    SoftHsmSetup.MATERIAL, dir.toString(), raw, SO_PIN, PIN);
        }
        run(System.getenv("ORV_INIT_TOKEN_LABEL"), SoftHsmSetup.MODULE, SO_PIN, NUL_PADDED_LABEL);
        certificate = Files.readAllBytes(dir.resolve(LABEL + ".der"));
        moduleId = PKCS11Module.loadLibrary(SoftHsmSetup.MODULE);
        slotIndex = SoftHsmSetup.slotOf(moduleId, LABEL);
    }
}
