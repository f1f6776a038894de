// One case of `make modules`: runs the bridge's natives against one PKCS#11 module and prints one RESULT line.
import java.io.ByteArrayInputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyFactory;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.Signature;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.PKCS8EncodedKeySpec;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.concurrent.ArrayBlockingQueue;
import java.util.concurrent.BlockingQueue;
import java.util.concurrent.TimeUnit;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;

/**
 * Usage: ModuleCase CASE. The module, token and material come from the environment: ORV_MODULE (path),
 * ORV_TOKEN (label; else the first slot with a token), ORV_PIN (none: no login), ORV_DIR (cert.der, key.p8,
 * data.bin, data.sha1, data.sha256 from openssl). Each case first runs the steps it needs (logging in when there is a PIN); a failed step
 * makes the case "na".
 */
public final class ModuleCase {
    private static final long kWaitBoundMillis = 3000;

    private final Path dir = Path.of(env("ORV_DIR", "."));
    private int moduleId = -1;
    private int slot = -1;
    private byte[] cert;
    private boolean sessionOpen;
    private boolean loggedIn;

    /** A step before the case proper failed. */
    private static final class StepFailed extends Exception {
        StepFailed(String step, Throwable cause) {
            super(step + " failed: " + describe(cause));
        }
    }

    /** The module answered, but the answer does not check out. */
    private static final class Wrong extends Exception {
        Wrong(String what) {
            super(what);
        }
    }

    public static void main(String[] args) {
        String name = args.length == 1 ? args[0] : "";
        String result;
        ModuleCase c = new ModuleCase();
        try {
            result = "ok " + c.run(name);
        } catch (StepFailed e) {
            result = "na " + e.getMessage();
        } catch (PKCS11Exception e) {
            result = "exception " + e.getMessage();
        } catch (Wrong e) {
            result = "wrong " + e.getMessage();
        } catch (Throwable e) {
            result = "unclean " + describe(e);
        }
        result += c.tidy();
        System.out.println("RESULT " + result.replace('\n', ' '));
        System.out.flush();
        // A module's own threads must not keep the JVM up after the answer.
        Runtime.getRuntime().halt(0);
    }

    /**
     * Logs out and closes the session as a careful caller would: the bridge never finalizes a module, and a TPM
     * without a resource manager keeps whatever a process that just exits left loaded.
     */
    private String tidy() {
        try {
            if (loggedIn) {
                PKCS11Slot.logout(moduleId, slot);
            }
            if (sessionOpen) {
                PKCS11Slot.closeSession(moduleId, slot);
            }
            return "";
        } catch (Throwable e) {
            return " (then logout/closeSession failed: " + describe(e) + ")";
        }
    }

    private static String describe(Throwable e) {
        return e instanceof PKCS11Exception ? e.getMessage() : e.getClass().getName() + ": " + e.getMessage();
    }

    private static String env(String name, String fallback) {
        String v = System.getenv(name);
        return v == null || v.isEmpty() ? fallback : v;
    }

    private interface Step {
        void run() throws Exception;
    }

    private static void step(String name, Step step) throws StepFailed {
        try {
            step.run();
        } catch (Throwable e) {
            throw new StepFailed(name, e);
        }
    }

    private String run(String name) throws Exception {
        switch (name) {
            case "load":
                load();
                return "module " + moduleId;
            case "slots":
                step("load", this::load);
                return slots();
            case "session":
                step("load", this::load);
                step("slots", this::slots);
                PKCS11Slot.openSession(moduleId, slot);
                sessionOpen = true;
                return "slot " + slot;
            case "login":
                opened();
                if (System.getenv("ORV_PIN") == null) {
                    throw new StepFailed("PIN", new Wrong("the token has no user PIN here"));
                }
                login();
                return "user";
            case "certs":
                loggedIn();
                return certs();
            case "sign-sha1":
                withCert();
                return sign(PKCS11Slot.CKM_SHA1_RSA_PKCS, "SHA1withRSA");
            case "sign-sha256":
                withCert();
                return sign(PKCS11Slot.CKM_SHA256_RSA_PKCS, "SHA256withRSA");
            case "verify":
                withCert();
                return verify();
            case "digest-sha1":
                loggedIn();
                return digest(PKCS11Slot.CKM_SHA_1, "data.sha1");
            case "digest-sha256":
                loggedIn();
                return digest(PKCS11Slot.CKM_SHA256, "data.sha256");
            case "random":
                loggedIn();
                return random();
            case "wait":
                step("load", this::load);
                return waitForEvent();
            default:
                throw new IllegalArgumentException("no such case: '" + name + "'");
        }
    }

    private void load() throws PKCS11Exception {
        moduleId = PKCS11Module.loadLibrary(env("ORV_MODULE", ""));
    }

    private String slots() throws PKCS11Exception, Wrong {
        int n = PKCS11Module.getNumberOfSlots(moduleId);
        String wanted = System.getenv("ORV_TOKEN");
        StringBuilder labels = new StringBuilder();
        for (int i = 0; i < n; i++) {
            if (!PKCS11Slot.tokenPresent(moduleId, i)) {
                continue;
            }
            PKCS11TokenInfo info = PKCS11Slot.getTokenInfo(moduleId, i);
            String label = info.getLabel().trim();
            labels.append(labels.length() == 0 ? "" : ", ").append('\'').append(label).append('\'');
            if (slot < 0 && (wanted == null || wanted.equals(label))) {
                slot = i;
            }
        }
        if (slot < 0) {
            throw new Wrong(n + " slots, no token " + (wanted == null ? "" : "'" + wanted + "'") + " among " + labels);
        }
        return n + " slots, tokens " + labels;
    }

    private void opened() throws StepFailed {
        step("load", this::load);
        step("slots", this::slots);
        step("openSession", () -> PKCS11Slot.openSession(moduleId, slot));
        sessionOpen = true;
    }

    private void login() throws PKCS11Exception {
        PKCS11Slot.login(moduleId, slot, System.getenv("ORV_PIN"), PKCS11Slot.CKU_USER);
        loggedIn = true;
    }

    private void loggedIn() throws StepFailed {
        opened();
        if (System.getenv("ORV_PIN") != null) {
            step("login", this::login);
        }
    }

    private X509Certificate parse(byte[] der) throws Exception {
        return (X509Certificate) CertificateFactory.getInstance("X.509")
                .generateCertificate(new ByteArrayInputStream(der));
    }

    private String certs() throws Exception {
        int n = PKCS11Slot.getNumberOfCertificates(moduleId, slot, PKCS11Slot.CKC_X_509);
        if (n == 0) {
            throw new Wrong("no certificate");
        }
        for (int i = 0; i < n; i++) {
            byte[] der = PKCS11Slot.getCertificate(moduleId, slot, PKCS11Slot.CKC_X_509, i);
            X509Certificate c = parse(der);
            if (cert == null) {
                cert = der;
            }
            Path expected = dir.resolve("cert.der");
            if (Files.exists(expected) && Arrays.equals(der, Files.readAllBytes(expected))) {
                cert = der;
            }
            if (i == n - 1 && Files.exists(expected) && !Arrays.equals(cert, Files.readAllBytes(expected))) {
                throw new Wrong(n + " certificates, none equal to the one stored");
            }
            if (i == 0 && !Files.exists(expected)) {
                return n + " certificates, the first " + c.getSubjectX500Principal().getName();
            }
        }
        return n + " certificates, the stored one among them";
    }

    private void withCert() throws StepFailed {
        loggedIn();
        step("certificate", this::certs);
    }

    private byte[] data() throws Exception {
        return Files.readAllBytes(dir.resolve("data.bin"));
    }

    private PublicKey publicKey() throws Exception {
        return parse(cert).getPublicKey();
    }

    private String sign(int mechanism, String javaName) throws Exception {
        byte[] data = data();
        byte[] signature = PKCS11Slot.signData(moduleId, slot, cert, data, mechanism);
        Signature check = Signature.getInstance(javaName);
        check.initVerify(publicKey());
        check.update(data);
        if (!check.verify(signature)) {
            throw new Wrong(javaName + " rejects the " + signature.length + "-byte signature");
        }
        return signature.length + " bytes, " + javaName + " accepts it";
    }

    private String verify() throws Exception {
        PrivateKey key = KeyFactory.getInstance("RSA")
                .generatePrivate(new PKCS8EncodedKeySpec(Files.readAllBytes(dir.resolve("key.p8"))));
        byte[] data = data();
        Signature signer = Signature.getInstance("SHA1withRSA");
        signer.initSign(key);
        signer.update(data);
        byte[] signature = signer.sign();
        if (!PKCS11Slot.verifyData(moduleId, slot, cert, data, signature, PKCS11Slot.CKM_SHA1_RSA_PKCS)) {
            throw new Wrong("the module rejects Java's SHA1withRSA signature");
        }
        byte[] tampered = Arrays.copyOf(data, data.length + 1);
        if (PKCS11Slot.verifyData(moduleId, slot, cert, tampered, signature, PKCS11Slot.CKM_SHA1_RSA_PKCS)) {
            throw new Wrong("the module accepts the signature over tampered data");
        }
        return "Java's SHA1withRSA signature accepted, tampered data refused";
    }

    private String digest(int mechanism, String expectedFile) throws Exception {
        byte[] data = data();
        PKCS11Slot.digestInit(moduleId, slot, mechanism);
        int half = data.length / 2;
        PKCS11Slot.digestUpdate(moduleId, slot, Arrays.copyOfRange(data, 0, half));
        PKCS11Slot.digestUpdate(moduleId, slot, Arrays.copyOfRange(data, half, data.length));
        String got = HexFormat.of().formatHex(PKCS11Slot.digestFinal(moduleId, slot));
        String expected = Files.readString(dir.resolve(expectedFile), StandardCharsets.US_ASCII).trim();
        if (!got.equals(expected)) {
            throw new Wrong("digest " + got + ", openssl's " + expected);
        }
        return "equals openssl's";
    }

    private String random() throws Exception {
        byte[] a = PKCS11Slot.generateRandom(moduleId, slot, 32);
        byte[] b = PKCS11Slot.generateRandom(moduleId, slot, 32);
        if (a.length != 32 || b.length != 32 || Arrays.equals(a, b)) {
            throw new Wrong("lengths " + a.length + " and " + b.length + (Arrays.equals(a, b) ? ", equal" : ""));
        }
        return "2 x 32 bytes, different";
    }

    private String waitForEvent() throws Exception {
        BlockingQueue<Object> answer = new ArrayBlockingQueue<>(1);
        Thread waiter = new Thread(() -> {
            try {
                answer.add(PKCS11Module.waitForSlotEvent(moduleId));
            } catch (Throwable e) {
                answer.add(e);
            }
        });
        waiter.setDaemon(true);
        waiter.start();
        Object got = answer.poll(kWaitBoundMillis, TimeUnit.MILLISECONDS);
        if (got == null) {
            return "no event within " + kWaitBoundMillis / 1000 + " s, still waiting";
        }
        if (got instanceof Exception) {
            throw (Exception) got;
        }
        return "event on slot " + got;
    }
}
