package orvane.provider;

import java.io.ByteArrayOutputStream;
import java.math.BigInteger;
import java.security.SignatureException;
import java.util.Arrays;

/** An ECDSA signature as r || s (PKCS#11, IEEE P1363) and as the DER SEQUENCE of two INTEGERs. */
final class ECDSAEncoding {
    private ECDSAEncoding() {
    }

    static byte[] toDer(byte[] rs) throws SignatureException {
        if (rs.length == 0 || rs.length % 2 != 0) {
            throw new SignatureException("An r || s ECDSA signature of " + rs.length + " bytes");
        }
        int half = rs.length / 2;
        byte[] r = new BigInteger(1, Arrays.copyOfRange(rs, 0, half)).toByteArray();
        byte[] s = new BigInteger(1, Arrays.copyOfRange(rs, half, rs.length)).toByteArray();
        ByteArrayOutputStream body = new ByteArrayOutputStream();
        integer(body, r);
        integer(body, s);
        ByteArrayOutputStream der = new ByteArrayOutputStream();
        der.write(0x30);
        length(der, body.size());
        byte[] content = body.toByteArray();
        der.write(content, 0, content.length);
        return der.toByteArray();
    }

    private static void integer(ByteArrayOutputStream out, byte[] value) {
        out.write(0x02);
        length(out, value.length);
        out.write(value, 0, value.length);
    }

    private static void length(ByteArrayOutputStream out, int length) {
        if (length < 0x80) {
            out.write(length);
        } else if (length < 0x100) {
            out.write(0x81);
            out.write(length);
        } else {
            out.write(0x82);
            out.write(length >>> 8);
            out.write(length);
        }
    }
}
