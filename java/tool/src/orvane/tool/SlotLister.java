package orvane.tool;

import java.io.PrintStream;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;
import orvane.clapi.crypto.PKCS11TokenInfo;

/** The slots command: token info needs no session, so none is opened. */
final class SlotLister {
    private SlotLister() {
    }

    static int list(int moduleId, PrintStream out) throws PKCS11Exception {
        int count = PKCS11Module.getNumberOfSlots(moduleId);
        out.println("Slots with a token: " + count);
        for (int i = 0; i < count; i++) {
            PKCS11TokenInfo info = PKCS11Slot.getTokenInfo(moduleId, i);
            out.println("Slot " + i + ":");
            out.println("  Label:        " + shown(info.getLabel()));
            out.println("  Manufacturer: " + shown(info.getManufacturerID()));
            out.println("  Model:        " + shown(info.getModel()));
            out.println("  Serial:       " + shown(info.getSerialNumber()));
        }
        return ExitStatus.OK;
    }

    /** Token fields are blank-padded (and may carry NULs from sloppy modules). */
    private static String shown(String field) {
        String text = field == null ? "" : field.replace('\0', ' ').trim();
        return text.isEmpty() ? "(none)" : text;
    }
}
