package orvane.bench;

/** The timed operations, each on one of the set-up tokens. */
enum Operation {
    SIGN_SHA1("sign-sha1", "sign SHA-1 1 KiB", Token.MAIN),
    SIGN_SHA256("sign-sha256", "sign SHA-256 1 KiB", Token.MAIN),
    VERIFY("verify", "verify SHA-256 1 KiB", Token.MAIN),
    DECRYPT("decrypt", "decrypt RSA PKCS#1", Token.MAIN),
    DIGEST_1K("digest-1k", "digest SHA-1 1 KiB", Token.MAIN),
    DIGEST_1M("digest-1m", "digest SHA-1 1 MiB", Token.MAIN),
    RANDOM_32("random-32", "generateRandom(32)", Token.MAIN),
    TOKEN_INFO("token-info", "getTokenInfo", Token.MAIN),
    LIST_1("list", "list 1 certificate", Token.MAIN),
    LIST_10("list", "list 10 certificates", Token.LIST_10),
    LIST_100("list", "list 100 certificates", Token.LIST_100);

    /** The set-up tokens by role. */
    enum Token {
        MAIN("orv-bench"), LIST_10("orv-bench-10"), LIST_100("orv-bench-100");

        final String label;

        Token(String label) {
            this.label = label;
        }
    }

    final String code;
    final String title;
    final Token token;

    Operation(String code, String title, Token token) {
        this.code = code;
        this.title = title;
        this.token = token;
    }

    /** Number of certificates the operation lists, or 0. */
    int listedCertificates() {
        switch (this) {
            case LIST_1: return 1;
            case LIST_10: return 10;
            case LIST_100: return 100;
            default: return 0;
        }
    }
}
