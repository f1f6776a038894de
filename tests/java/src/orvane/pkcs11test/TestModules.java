package orvane.pkcs11test;

import static org.junit.jupiter.api.Assertions.assertThrows;
import static orvane.testsupport.SoftHsmSetup.material;

import java.nio.file.Path;
import java.util.List;
import java.util.stream.Collectors;
import java.util.stream.Stream;

import org.junit.jupiter.api.function.Executable;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.testsupport.SoftHsmSetup;

/**
 * The modules every test class shares. SoftHSM2 can be initialised once per
 * process and all test classes run in one JVM, so each module is loaded once,
 * when this class is first used: SoftHSM2 first (its tokens made beforehand),
 * then the mock module.
 */
final class TestModules {
    static final String SOFTHSM = SoftHsmSetup.MODULE;
    static final String MOCK_PATH = SoftHsmSetup.requiredEnv("ORV_P11MOCK");
    static final String SO_PIN = "12345678";

    static int softHsm = -1;
    static int mock = -1;
    /** Slots SoftHSM2 listed with a token, the uninitialised one included. */
    static int softHsmSlotCount;
    /** Sessions, login, digest and random. */
    static final Token MAIN;
    /** MAIN's key pair and certificate, as Java sees them. */
    static final SoftHsmSetup.KeyFiles MAIN_KEY;
    /** Its user PIN is changed by the tests. */
    static final Token PIN_CHANGE;
    /** Re-initialised by the tests. */
    static final Token REINIT;
    /** Token A of the mock's default fixture, at slot index 0. */
    static final Token MOCK_A;

    /** A token the tests can drive: where it sits and its PINs. */
    record Token(String label, String userPin, String soPin, int moduleId, int slotIndex) {
        @Override
        public String toString() {
            return label;
        }
    }

    static {
        try {
            Path dir = SoftHsmSetup.freshTokenDirectory();
            String[][] made = {{"orv-main", "2468"}, {"orv-pinchange", "1357"}, {"orv-reinit", "9753"}};
            SoftHsmSetup.keyToken(dir, made[0][0], SO_PIN, made[0][1]);
            MAIN_KEY = new SoftHsmSetup.KeyFiles(dir, made[0][0]);
            for (String[] token : List.of(made[1], made[2])) {
                material("token", dir, token[0], SO_PIN, token[1]);
            }
            // Slot ids are random; the order of the labels is SoftHSM2's slot order.
            List<String> labels = material("labels", dir).lines().collect(Collectors.toList());
            softHsm = PKCS11Module.loadLibrary(SOFTHSM);
            softHsmSlotCount = labels.size();
            MAIN = softHsmToken(labels, made[0]);
            PIN_CHANGE = softHsmToken(labels, made[1]);
            REINIT = softHsmToken(labels, made[2]);
            MockControl.open(MOCK_PATH);
            MockControl.reset();
            MockControl.setInitialized(false);
            mock = PKCS11Module.loadLibrary(MOCK_PATH);
            MOCK_A = new Token("P11Mock Token A", "1234", "87654321", mock, 0);
        } catch (Exception e) {
            throw new IllegalStateException("test modules could not be set up", e);
        }
    }

    /** The token made with {label, user PIN}, where SoftHSM2 lists it; the user PIN opens exactly that token. */
    private static Token softHsmToken(List<String> labels, String[] made) throws Exception {
        Token token = new Token(made[0], made[1], SO_PIN, softHsm, labels.indexOf(made[0]));
        PKCS11Slot.openSession(token.moduleId(), token.slotIndex());
        PKCS11Slot.login(token.moduleId(), token.slotIndex(), token.userPin(), PKCS11Slot.CKU_USER);
        PKCS11Slot.logout(token.moduleId(), token.slotIndex());
        PKCS11Slot.closeSession(token.moduleId(), token.slotIndex());
        return token;
    }

    private TestModules() {
    }

    static String failure(Executable call) {
        return assertThrows(PKCS11Exception.class, call).getMessage();
    }

    /** A started thread that waits for the mock's next slot event and keeps it in seen[0] (-2 on a failure). */
    static Thread slotEventWaiter(long[] seen) {
        Thread waiter = new Thread(() -> {
            try {
                seen[0] = PKCS11Module.waitForSlotEvent(mock);
            } catch (PKCS11Exception e) {
                seen[0] = -2;
            }
        });
        waiter.start();
        return waiter;
    }

    interface SlotCall {
        void call(int moduleId, int slotIndex) throws Exception;
    }

    /** Runs the call in a session opened for it on the token, closed whatever happens. */
    static void inSession(Token token, SlotCall call) throws Exception {
        PKCS11Slot.openSession(token.moduleId(), token.slotIndex());
        try {
            call.call(token.moduleId(), token.slotIndex());
        } finally {
            PKCS11Slot.closeSession(token.moduleId(), token.slotIndex());
        }
    }

    /** SoftHSM2's main token and mock token A, which answer alike; the mock reset. */
    static Stream<Token> tokens() throws Exception {
        resetMock();
        return Stream.of(MAIN, MOCK_A);
    }

    /** Back to the mock's default fixture, initialised, with an empty log. */
    static void resetMock() throws Exception {
        MockControl.reset();
        PKCS11Module.refresh(mock);
        MockControl.logClear();
    }
}
