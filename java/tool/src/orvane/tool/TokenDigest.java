package orvane.tool;

import java.io.IOException;
import java.io.InputStream;
import java.io.PrintStream;
import java.util.Arrays;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Slot;

/** The digest and random commands. The digest streams the file so its size does not matter. */
final class TokenDigest {
    private static final int CHUNK = 64 * 1024;

    private TokenDigest() {
    }

    static int digest(TokenSession session, Options options, PrintStream out) throws PKCS11Exception, ToolException {
        String file = options.argument(0);
        int moduleId = session.moduleId();
        int slot = session.slotIndex();
        try (InputStream in = FileIO.open(file)) {
            PKCS11Slot.digestInit(moduleId, slot, options.digest().mechanism());
            byte[] buffer = new byte[CHUNK];
            int n;
            while ((n = in.read(buffer)) >= 0) {
                if (n > 0) {
                    PKCS11Slot.digestUpdate(moduleId, slot, n == CHUNK ? buffer : Arrays.copyOf(buffer, n));
                }
            }
        } catch (IOException e) {
            throw FileIO.failure("cannot read", file, e);
        }
        byte[] digest = PKCS11Slot.digestFinal(moduleId, slot);
        out.println(Hex.lower(digest) + "  " + file);
        return ExitStatus.OK;
    }

    static int random(TokenSession session, Options options, PrintStream out) throws PKCS11Exception, UsageException {
        byte[] bytes = PKCS11Slot.generateRandom(session.moduleId(), session.slotIndex(), options.randomLength());
        out.println(Hex.lower(bytes));
        return ExitStatus.OK;
    }
}
