package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertEquals;

import java.io.BufferedReader;
import java.io.InputStreamReader;
import java.io.OutputStream;
import java.net.InetAddress;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.KeyStore;
import java.security.cert.X509Certificate;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;

import javax.net.ssl.KeyManagerFactory;
import javax.net.ssl.SSLContext;
import javax.net.ssl.SSLServerSocket;
import javax.net.ssl.SSLSocket;
import javax.net.ssl.TrustManagerFactory;

import orvane.testsupport.SoftHsmSetup;

/**
 * TLS client authentication on loopback, all JSSE: a server with a software
 * key that needs a client certificate and trusts only the one given, and a
 * client whose KeyManagerFactory works over a token's key store. The server
 * names the trusted certificate as its only acceptable issuer, so the client
 * picks that certificate's key.
 */
public final class TlsLoop {
    private final KeyStore serverKeys;
    private final X509Certificate serverCertificate;

    /** A software server key of its own, made by tools/material.sh in DIR. */
    public TlsLoop(Path dir) throws Exception {
        SoftHsmSetup.material("keypair", dir, "tls-server");
        SoftHsmSetup.material("pfx", dir, "tls-server", "tls-server");
        serverKeys = KeyStore.getInstance("PKCS12");
        serverKeys.load(Files.newInputStream(dir.resolve("tls-server.p12")), "orv".toCharArray());
        serverCertificate = SoftHsmSetup.x509(Files.readAllBytes(dir.resolve("tls-server.der")));
    }

    /**
     * One handshake in PROTOCOL and a line each way; returns the client
     * certificate the server saw.
     */
    public X509Certificate handshake(String protocol, KeyStore clientKeys, char[] pin, X509Certificate trusted)
            throws Exception {
        SSLContext serverContext = context(serverKeys, "orv".toCharArray(), trusted);
        SSLContext clientContext = context(clientKeys, pin, serverCertificate);
        ExecutorService pool = Executors.newSingleThreadExecutor();
        try (SSLServerSocket server = (SSLServerSocket) serverContext.getServerSocketFactory()
                .createServerSocket(0, 1, InetAddress.getLoopbackAddress())) {
            server.setNeedClientAuth(true);
            server.setEnabledProtocols(new String[] {protocol});
            Future<X509Certificate> served = pool.submit(() -> {
                try (SSLSocket socket = (SSLSocket) server.accept()) {
                    socket.setSoTimeout(20_000);
                    assertEquals("ping", reader(socket).readLine());
                    write(socket, "pong\n");
                    return (X509Certificate) socket.getSession().getPeerCertificates()[0];
                }
            });
            try (SSLSocket client = (SSLSocket) clientContext.getSocketFactory()
                    .createSocket(InetAddress.getLoopbackAddress(), server.getLocalPort())) {
                client.setSoTimeout(20_000);
                client.setEnabledProtocols(new String[] {protocol});
                client.startHandshake();
                assertEquals(protocol, client.getSession().getProtocol());
                write(client, "ping\n");
                assertEquals("pong", reader(client).readLine());
            }
            return served.get(30, TimeUnit.SECONDS);
        } finally {
            pool.shutdownNow();
        }
    }

    private static SSLContext context(KeyStore keys, char[] password, X509Certificate trusted) throws Exception {
        KeyManagerFactory keyManagers = KeyManagerFactory.getInstance("SunX509");
        keyManagers.init(keys, password);
        KeyStore trust = KeyStore.getInstance("PKCS12");
        trust.load(null, null);
        trust.setCertificateEntry("trusted", trusted);
        TrustManagerFactory trustManagers = TrustManagerFactory.getInstance("PKIX");
        trustManagers.init(trust);
        SSLContext context = SSLContext.getInstance("TLS");
        context.init(keyManagers.getKeyManagers(), trustManagers.getTrustManagers(), null);
        return context;
    }

    private static BufferedReader reader(SSLSocket socket) throws Exception {
        return new BufferedReader(new InputStreamReader(socket.getInputStream(), StandardCharsets.US_ASCII));
    }

    private static void write(SSLSocket socket, String text) throws Exception {
        OutputStream out = socket.getOutputStream();
        out.write(text.getBytes(StandardCharsets.US_ASCII));
        out.flush();
    }
}
