package orvane.bench;

import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.EnumMap;
import java.util.List;
import java.util.Map;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;

/** Java calling our natives, as an application does. */
final class BridgePath implements BenchPath {
    static final int CKU_USER = 1;
    static final int CKM_RSA_PKCS = 0x1;
    static final int CKM_SHA1_RSA_PKCS = 0x6;
    static final int CKM_SHA256_RSA_PKCS = 0x40;
    static final int CKM_SHA_1 = 0x220;
    static final int CKC_X_509 = 0;

    private final Inputs inputs;
    private final int moduleId;
    private final Map<Operation.Token, Integer> slots = new EnumMap<>(Operation.Token.class);

    BridgePath(String module, Inputs inputs, String pin, Iterable<Operation.Token> tokens) throws PKCS11Exception {
        this.inputs = inputs;
        moduleId = PKCS11Module.loadLibrary(module);
        for (Operation.Token token : tokens) {
            int slot = slotIndexOf(token.label);
            PKCS11Slot.openSession(moduleId, slot);
            PKCS11Slot.login(moduleId, slot, pin, CKU_USER);
            slots.put(token, slot);
        }
    }

    int moduleId() {
        return moduleId;
    }

    int slotIndex(Operation.Token token) {
        return slots.get(token);
    }

    /** Opens a session on the token of this label, without login, and gives its slot index. */
    int openSessionOn(String label) throws PKCS11Exception {
        int slot = slotIndexOf(label);
        PKCS11Slot.openSession(moduleId, slot);
        return slot;
    }

    private int slotIndexOf(String label) throws PKCS11Exception {
        int count = PKCS11Module.getNumberOfSlots(moduleId);
        for (int i = 0; i < count; i++) {
            if (PKCS11Slot.getTokenInfo(moduleId, i).getLabel().trim().equals(label)) {
                return i;
            }
        }
        throw new IllegalStateException("no slot holds token " + label);
    }

    @Override
    public String name() {
        return "bridge";
    }

    @Override
    public boolean supports(Operation operation) {
        return true;
    }

    // What one Java call (or the digest's three) gives back, unconverted, so
    // the timed loop adds nothing an application would not do.
    Object perform(Operation operation, int slot) throws PKCS11Exception {
        switch (operation) {
            case SIGN_SHA1:
                return PKCS11Slot.signData(moduleId, slot, inputs.certificate, inputs.data1k, CKM_SHA1_RSA_PKCS);
            case SIGN_SHA256:
                return PKCS11Slot.signData(moduleId, slot, inputs.certificate, inputs.data1k, CKM_SHA256_RSA_PKCS);
            case VERIFY:
                return verification(slot, inputs.signature);
            case DECRYPT:
                return PKCS11Slot.decryptData(moduleId, slot, inputs.certificate, inputs.cipherText, CKM_RSA_PKCS);
            case DIGEST_1K:
                return digest(slot, inputs.data1k);
            case DIGEST_1M:
                return digest(slot, inputs.data1m);
            case RANDOM_32:
                return PKCS11Slot.generateRandom(moduleId, slot, 32);
            case TOKEN_INFO:
                return PKCS11Slot.getTokenInfo(moduleId, slot);
            default:
                return listCertificates(slot);
        }
    }

    @Override
    public List<byte[]> result(Operation operation) throws PKCS11Exception {
        return output(perform(operation, slots.get(operation.token)));
    }

    /** What perform gave back, as the checks take it. */
    @SuppressWarnings("unchecked")
    static List<byte[]> output(Object result) {
        if (result instanceof byte[]) {
            return List.of((byte[]) result);
        }
        if (result instanceof Boolean) {
            return List.of(new byte[] {(byte) ((Boolean) result ? 1 : 0)});
        }
        if (result instanceof PKCS11TokenInfo) {
            return List.of(((PKCS11TokenInfo) result).getLabel().getBytes(StandardCharsets.UTF_8));
        }
        return (List<byte[]>) result;
    }

    @Override
    public List<byte[]> resultOfBadVerify() throws PKCS11Exception {
        return List.of(new byte[] {(byte) (verification(slots.get(Operation.Token.MAIN), inputs.badSignature) ? 1 : 0)});
    }

    private boolean verification(int slot, byte[] signature) throws PKCS11Exception {
        return PKCS11Slot.verifyData(moduleId, slot, inputs.certificate, inputs.data1k, signature,
                CKM_SHA256_RSA_PKCS);
    }

    private byte[] digest(int slot, byte[] data) throws PKCS11Exception {
        PKCS11Slot.digestInit(moduleId, slot, CKM_SHA_1);
        PKCS11Slot.digestUpdate(moduleId, slot, data);
        return PKCS11Slot.digestFinal(moduleId, slot);
    }

    private List<byte[]> listCertificates(int slot) throws PKCS11Exception {
        int count = PKCS11Slot.getNumberOfCertificates(moduleId, slot, CKC_X_509);
        List<byte[]> certificates = new ArrayList<>();
        for (int i = 0; i < count; i++) {
            certificates.add(PKCS11Slot.getCertificate(moduleId, slot, CKC_X_509, i));
        }
        return certificates;
    }

    @Override
    public Sample run(Operation operation, int batch, long budgetMillis) throws PKCS11Exception {
        long cpuStart = CpuClock.threadNanos();
        long start = System.nanoTime();
        long deadline = start + budgetMillis * 1_000_000L;
        int slot = slots.get(operation.token);
        long count = 0;
        long now;
        do {
            for (int i = 0; i < batch; i++) {
                perform(operation, slot);
            }
            count += batch;
            now = System.nanoTime();
        } while (now < deadline);
        return new Sample(count, now - start, CpuClock.threadNanos() - cpuStart);
    }

    @Override
    public void close() {
    }
}
