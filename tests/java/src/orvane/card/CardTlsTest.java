package orvane.card;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.nio.file.Paths;
import java.security.KeyStore;
import java.security.Security;
import java.security.cert.X509Certificate;

import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

import orvane.provider.ORVNativeProvider;
import orvane.providertest.TlsLoop;

/**
 * JSSE client authentication with the card's RSA key through the JCA
 * provider. OpenSC offers raw RSA for this card, so TLS 1.3 (RSASSA-PSS made
 * in Java) works beside TLS 1.2.
 */
@Timeout(value = 60, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
class CardTlsTest extends LoggedInCard {
    private static TlsLoop loop;
    private static KeyStore store;

    @BeforeAll
    static void provider() throws Exception {
        // The suite loaded OpenSC already; a module initialises once per process.
        ORVNativeProvider.useModule(Card.OPENSC, Card.module());
        ORVNativeProvider provider = new ORVNativeProvider("--library = " + Card.OPENSC + "\nname = card");
        Security.addProvider(provider);
        store = KeyStore.getInstance("PKCS11", provider);
        loop = new TlsLoop(Paths.get(System.getenv("ORV_CARD_STATE"), "tls"));
    }

    @ParameterizedTest
    @ValueSource(strings = {"TLSv1.3", "TLSv1.2"})
    void handshakeWithTheCardsKey(String protocol) throws Exception {
        store.load(null, Card.pin().toCharArray());
        X509Certificate card = (X509Certificate) store.getCertificate("ORV card signer");
        assertEquals(Card.publicKey(), card.getPublicKey());
        assertEquals(card, loop.handshake(protocol, store, null, card));
    }
}
