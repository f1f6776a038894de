package orvane.tool;

/** Hex renderings: plain lower case like openssl for digests and random bytes, colon-separated upper case for fingerprints. */
final class Hex {
    private static final char[] DIGITS = "0123456789abcdef".toCharArray();

    private Hex() {
    }

    static String lower(byte[] bytes) {
        StringBuilder text = new StringBuilder(bytes.length * 2);
        for (byte b : bytes) {
            text.append(DIGITS[(b >> 4) & 0xF]).append(DIGITS[b & 0xF]);
        }
        return text.toString();
    }

    static String fingerprint(byte[] bytes) {
        StringBuilder text = new StringBuilder(bytes.length * 3);
        for (byte b : bytes) {
            if (text.length() > 0) {
                text.append(':');
            }
            text.append(Character.toUpperCase(DIGITS[(b >> 4) & 0xF]))
                .append(Character.toUpperCase(DIGITS[b & 0xF]));
        }
        return text.toString();
    }
}
