package orvane.pkcs11test;

import static orvane.testsupport.SoftHsmSetup.material;

import java.io.IOException;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Collectors;

import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.testsupport.SoftHsmSetup;

/**
 * The modules every test class shares. SoftHSM2 can be initialised once per
 * process and all test classes run in one JVM, so each module is loaded once,
 * here: SoftHSM2 first (its tokens made beforehand), then the mock module.
 */
final class TestModules {
    static final String SOFTHSM = SoftHsmSetup.MODULE;
    static final String SO_PIN = "12345678";

    /** Sessions, login, digest and random. */
    static final Token MAIN = new Token("orv-main", "2468", SO_PIN);
    /** Its user PIN is changed by the tests. */
    static final Token PIN_CHANGE = new Token("orv-pinchange", "1357", SO_PIN);
    /** Re-initialised by the tests. */
    static final Token REINIT = new Token("orv-reinit", "9753", SO_PIN);

    /** A token the tests can drive: where it sits and its PINs. */
    static final class Token {
        final String label;
        final String userPin;
        final String soPin;
        int moduleId = -1;
        int slotIndex = -1;

        Token(String label, String userPin, String soPin) {
            this.label = label;
            this.userPin = userPin;
            this.soPin = soPin;
        }

        @Override
        public String toString() {
            return label;
        }
    }

    private static boolean loaded;
    private static int firstModuleId = -1;
    private static int softHsmId = -1;
    private static int mockId = -1;
    private static int softHsmSlotCount;
    private static Token mockTokenA;

    private TestModules() {
    }

    static synchronized int firstModuleId() {
        load();
        return firstModuleId;
    }

    static synchronized int softHsm() {
        load();
        return softHsmId;
    }

    static synchronized int mock() {
        load();
        return mockId;
    }

    /** Slots SoftHSM2 listed with a token, the uninitialised one included. */
    static synchronized int softHsmSlotCount() {
        load();
        return softHsmSlotCount;
    }

    static synchronized Token main() {
        load();
        return MAIN;
    }

    static synchronized Token pinChange() {
        load();
        return PIN_CHANGE;
    }

    static synchronized Token reinit() {
        load();
        return REINIT;
    }

    /** Token A of the mock's default fixture, at slot index 0. */
    static synchronized Token mockTokenA() {
        load();
        return mockTokenA;
    }

    static String mockPath() {
        String path = System.getenv("ORV_P11MOCK");
        if (path == null || path.isEmpty()) {
            throw new IllegalStateException("ORV_P11MOCK names no mock module");
        }
        return path;
    }

    /** Back to the mock's default fixture, initialised, with an empty log. */
    static void resetMock() throws Exception {
        int id = mock();
        MockControl.reset();
        PKCS11Module.refresh(id);
        MockControl.logClear();
    }

    private static void load() {
        if (loaded) {
            return;
        }
        try {
            List<String> labels = makeSoftHsmTokens();
            softHsmId = PKCS11Module.loadLibrary(SOFTHSM);
            firstModuleId = softHsmId;
            softHsmSlotCount = labels.size();
            for (Token token : new Token[] {MAIN, PIN_CHANGE, REINIT}) {
                token.moduleId = softHsmId;
                token.slotIndex = labels.indexOf(token.label);
                confirmByLogin(token);
            }
            MockControl.open(mockPath());
            MockControl.reset();
            MockControl.setInitialized(false);
            mockId = PKCS11Module.loadLibrary(mockPath());
            mockTokenA = new Token("P11Mock Token A", "1234", "87654321");
            mockTokenA.moduleId = mockId;
            mockTokenA.slotIndex = 0;
        } catch (Exception e) {
            throw new IllegalStateException("test modules could not be set up", e);
        }
        loaded = true;
    }

    /** The user PIN opens exactly the token found for the label. */
    private static void confirmByLogin(Token token) throws Exception {
        PKCS11Slot.openSession(token.moduleId, token.slotIndex);
        PKCS11Slot.login(token.moduleId, token.slotIndex, token.userPin, PKCS11Slot.CKU_USER);
        PKCS11Slot.logout(token.moduleId, token.slotIndex);
        PKCS11Slot.closeSession(token.moduleId, token.slotIndex);
    }

    /**
     * Writes the configuration SOFTHSM2_CONF names, with a fresh token
     * directory beside it, and makes the tokens. Returns the token labels in
     * the module's slot order (slot ids are random; the order is SoftHSM2's).
     */
    private static List<String> makeSoftHsmTokens() throws IOException, InterruptedException {
        Path dir = SoftHsmSetup.freshTokenDirectory();
        for (Token token : new Token[] {MAIN, PIN_CHANGE, REINIT}) {
            material("token", dir, token.label, token.soPin, token.userPin);
        }
        return material("labels", dir).lines().collect(Collectors.toList());
    }
}
