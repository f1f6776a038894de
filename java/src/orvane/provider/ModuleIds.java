package orvane.provider;

import java.io.File;
import java.io.IOException;
import java.util.HashMap;
import java.util.Map;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;

/**
 * The module id of each library, loaded once per process: a module refuses a
 * second C_Initialize, so every configuration naming it shares one id.
 */
final class ModuleIds {
    private static final Map<String, Integer> IDS = new HashMap<>();

    private ModuleIds() {
    }

    static synchronized int of(String library) throws PKCS11Exception {
        String key = key(library);
        Integer id = IDS.get(key);
        if (id == null) {
            id = PKCS11Module.loadLibrary(library);
            IDS.put(key, id);
        }
        return id;
    }

    static synchronized void use(String library, int moduleId) {
        IDS.put(key(library), moduleId);
    }

    // Two spellings of one file are one module.
    private static String key(String library) {
        try {
            return new File(library).getCanonicalPath();
        } catch (IOException e) {
            return library;
        }
    }
}
