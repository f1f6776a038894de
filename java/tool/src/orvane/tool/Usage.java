package orvane.tool;

/** The usage text. */
final class Usage {
    static final String TEXT = String.join(System.lineSeparator(),
            "Usage: orvtool --module PATH [--slot N | --token LABEL] [--pin-env NAME] [--login] COMMAND [ARGS]",
            "",
            "Commands:",
            "  slots                 count the slots with a token and describe each token",
            "  certs                 list the X.509 certificates (subject, issuer, serial, SHA-256)",
            "  sign FILE             sign FILE with the key of certificate --cert N (default 0);",
            "                        the signature goes to --out FILE or FILE.sig",
            "  verify FILE SIG       check SIG over FILE with the certificate's public key",
            "  digest FILE           hash FILE on the token (--alg sha1|md5, default sha1)",
            "  random N              N random bytes from the token (1 to " + Options.MAX_RANDOM_BYTES + ")",
            "",
            "Options:",
            "  --module PATH         the PKCS#11 module to load (required)",
            "  --slot N              slot index among the slots with a token (default 0)",
            "  --token LABEL         the slot whose token has this label",
            "  --pin-env NAME        read the user PIN from environment variable NAME",
            "                        (otherwise sign asks on the console, without echo)",
            "  --login               log in for commands that do not need it",
            "  --cert N              certificate index for sign and verify (default 0)",
            "  --mech sha1|sha256    signature mechanism (default sha256)",
            "  --alg sha1|md5        digest algorithm (default sha1)",
            "  --out FILE            where sign writes the signature",
            "  --version             print the version of the bridge and exit",
            "",
            "Exit status: 0 success, 1 signature invalid, 2 usage error, 3 failure.");

    private Usage() {
    }
}
