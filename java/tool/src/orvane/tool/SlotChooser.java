package orvane.tool;

import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;
import orvane.clapi.crypto.PKCS11Slot;

/** Turns --slot or --token into a slot index of a loaded module, checking it exists. */
final class SlotChooser {
    private SlotChooser() {
    }

    static int choose(int moduleId, Options options) throws PKCS11Exception, ToolException {
        int count = PKCS11Module.getNumberOfSlots(moduleId);
        if (count == 0) {
            throw new ToolException("the module has no slot with a token");
        }
        if (options.tokenLabel() != null) {
            return byLabel(moduleId, count, options.tokenLabel());
        }
        int index = options.slot() != null ? options.slot() : 0;
        if (index >= count) {
            throw new ToolException("no slot " + index + ": the module has " + count
                    + " slot" + (count == 1 ? "" : "s") + " with a token (indexes 0 to " + (count - 1) + ")");
        }
        return index;
    }

    private static int byLabel(int moduleId, int count, String label) throws PKCS11Exception, ToolException {
        for (int i = 0; i < count; i++) {
            if (PKCS11Slot.getTokenInfo(moduleId, i).getLabel().trim().equals(label.trim())) {
                return i;
            }
        }
        throw new ToolException("no token labelled '" + label + "'");
    }
}
