package orvane.tool;

import java.io.PrintStream;
import java.nio.file.Files;
import java.nio.file.Paths;
import orvane.clapi.crypto.PKCS11Exception;
import orvane.clapi.crypto.PKCS11Module;

/**
 * Command-line tool over a PKCS#11 module through the ORVNative bridge. Every
 * failure becomes one "error: ..." line and an exit status; no stack traces.
 */
public final class TokenTool {
    private final PrintStream out;
    private final PrintStream err;

    private TokenTool(PrintStream out, PrintStream err) {
        this.out = out;
        this.err = err;
    }

    public static void main(String[] args) {
        int status = new TokenTool(System.out, System.err).run(args);
        System.out.flush();
        System.exit(status);
    }

    private int run(String[] args) {
        Options options;
        try {
            options = Options.parse(args);
        } catch (UsageException e) {
            err.println("error: " + e.getMessage());
            err.println(Usage.TEXT);
            return ExitStatus.USAGE;
        }
        if (options.help()) {
            out.println(Usage.TEXT);
            return ExitStatus.OK;
        }
        if (options.version()) {
            out.println("orvtool " + bridgeVersion());
            return ExitStatus.OK;
        }
        try {
            return execute(options);
        } catch (PKCS11Exception | ToolException | UsageException | IndexOutOfBoundsException e) {
            err.println("error: " + e.getMessage());
        } catch (UnsatisfiedLinkError e) {
            err.println("error: the ORVNative library lacks a native method: " + e.getMessage());
        } catch (RuntimeException e) {
            err.println("error: unexpected failure: " + e);
        }
        return ExitStatus.FAILURE;
    }

    private int execute(Options options) throws PKCS11Exception, ToolException, UsageException {
        loadBridge();
        int moduleId = loadModule(options.module());
        if (options.command() == Command.SLOTS) {
            return SlotLister.list(moduleId, out);
        }
        int slot = SlotChooser.choose(moduleId, options);
        try (TokenSession session = TokenSession.open(moduleId, slot)) {
            if (options.command() == Command.SIGN || options.loginRequested()) {
                session.login(new PinSource(options.pinEnv()));
            }
            return dispatch(session, options);
        }
    }

    private int dispatch(TokenSession session, Options options)
            throws PKCS11Exception, ToolException, UsageException {
        switch (options.command()) {
            case CERTS: return CertificateLister.list(session, out);
            case SIGN: return Signer.sign(session, options, out);
            case VERIFY: return Signer.verify(session, options, out);
            case DIGEST: return TokenDigest.digest(session, options, out);
            case RANDOM: return TokenDigest.random(session, options, out);
            default: throw new IllegalStateException("unhandled command " + options.command());
        }
    }

    /** The bridge jar's Implementation-Version; classes run from a directory have none. */
    private static String bridgeVersion() {
        String version = PKCS11Module.class.getPackage().getImplementationVersion();
        return version == null ? "(unknown version)" : version;
    }

    private static void loadBridge() throws ToolException {
        try {
            System.loadLibrary("ORVNative");
        } catch (UnsatisfiedLinkError e) {
            throw new ToolException("cannot load the ORVNative library (java.library.path="
                    + System.getProperty("java.library.path") + "): " + e.getMessage()
                    + "; start java with -Djava.library.path=DIR, DIR holding the library (from dist/: linux-x86_64,"
                    + " windows-x64 or windows-x86)");
        }
    }

    private static int loadModule(String path) throws PKCS11Exception, ToolException {
        // A bare name is left to the loader's search path; a path must exist.
        if (path.indexOf('/') >= 0 && !Files.isRegularFile(Paths.get(path))) {
            throw new ToolException("no PKCS#11 module at " + path);
        }
        return PKCS11Module.loadLibrary(path);
    }
}
