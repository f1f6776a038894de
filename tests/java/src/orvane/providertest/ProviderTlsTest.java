package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertEquals;

import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

/** JSSE client authentication with each token key, in TLS 1.3 (RSASSA-PSS for RSA) and TLS 1.2. */
class ProviderTlsTest {
    private static TlsLoop loop;

    @BeforeAll
    static void server() throws Exception {
        loop = new TlsLoop(ProviderToken.get().dir);
    }

    @ParameterizedTest
    @CsvSource({"TLSv1.3, orv-rsa", "TLSv1.3, orv-ec", "TLSv1.2, orv-rsa", "TLSv1.2, orv-ec"})
    void handshakeWithTheTokensKey(String protocol, String alias) throws Exception {
        ProviderToken token = ProviderToken.get();
        assertEquals(token.certificate(alias),
                loop.handshake(protocol, token.store, ProviderToken.PIN.toCharArray(), token.certificate(alias)));
    }
}
