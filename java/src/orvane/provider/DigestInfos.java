package orvane.provider;

import java.security.SignatureException;

/** PKCS#1 DigestInfo: the DER prefix naming the hash, then the hash. */
final class DigestInfos {
    private DigestInfos() {
    }

    static byte[] encode(String digestName, byte[] hash) throws SignatureException {
        byte[] prefix = prefix(digestName);
        byte[] info = new byte[prefix.length + hash.length];
        System.arraycopy(prefix, 0, info, 0, prefix.length);
        System.arraycopy(hash, 0, info, prefix.length, hash.length);
        return info;
    }

    private static byte[] prefix(String digestName) throws SignatureException {
        switch (digestName) {
            case "SHA-1":
                return hex("3021300906052b0e03021a05000414");
            case "SHA-224":
                return hex("302d300d06096086480165030402040500041c");
            case "SHA-256":
                return hex("3031300d060960864801650304020105000420");
            case "SHA-384":
                return hex("3041300d060960864801650304020205000430");
            case "SHA-512":
                return hex("3051300d060960864801650304020305000440");
            default:
                throw new SignatureException("No DigestInfo for " + digestName);
        }
    }

    private static byte[] hex(String text) {
        byte[] bytes = new byte[text.length() / 2];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = (byte) Integer.parseInt(text.substring(2 * i, 2 * i + 2), 16);
        }
        return bytes;
    }
}
