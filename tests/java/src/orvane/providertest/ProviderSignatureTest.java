package orvane.providertest;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.security.InvalidKeyException;
import java.security.MessageDigest;
import java.security.PrivateKey;
import java.security.PublicKey;
import java.security.Signature;
import java.security.spec.AlgorithmParameterSpec;
import java.security.spec.MGF1ParameterSpec;
import java.security.spec.PSSParameterSpec;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HexFormat;
import java.util.List;
import java.util.concurrent.ExecutorService;
import java.util.concurrent.Executors;
import java.util.concurrent.Future;
import java.util.concurrent.TimeUnit;

import javax.crypto.Cipher;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.CsvSource;

import orvane.testsupport.SoftHsmSetup;

/** Every Signature algorithm, each signature checked by the JDK's own provider (SunRsaSign, SunEC). */
class ProviderSignatureTest {
    private static final byte[] DATA = "signed through the ORVNative provider".getBytes(StandardCharsets.UTF_8);

    private static PrivateKey key(String alias) throws Exception {
        return (PrivateKey) ProviderToken.get().store.getKey(alias, null);
    }

    private static PublicKey publicKey(String alias) throws Exception {
        return ProviderToken.get().certificate(alias).getPublicKey();
    }

    /** ALGORITHM's signature of INPUT by the token key, with PARAMS if any. */
    private static byte[] sign(String algorithm, AlgorithmParameterSpec params, String alias, byte[] input)
            throws Exception {
        Signature signer = Signature.getInstance(algorithm, ProviderToken.get().provider);
        if (params != null) {
            signer.setParameter(params);
        }
        signer.initSign(key(alias));
        signer.update(input);
        return signer.sign();
    }

    private static boolean verify(Signature verifier, AlgorithmParameterSpec params, String alias, byte[] input,
            byte[] signature) throws Exception {
        if (params != null) {
            verifier.setParameter(params);
        }
        verifier.initVerify(publicKey(alias));
        verifier.update(input);
        return verifier.verify(signature);
    }

    private static byte[] input(String algorithm) throws Exception {
        if (algorithm.equals("NONEwithRSA")) {
            // A SHA-256 DigestInfo, as the caller of NONEwithRSA builds it.
            byte[] info = HexFormat.of().parseHex("3031300d060960864801650304020105000420");
            byte[] hash = MessageDigest.getInstance("SHA-256").digest(DATA);
            byte[] all = Arrays.copyOf(info, info.length + hash.length);
            System.arraycopy(hash, 0, all, info.length, hash.length);
            return all;
        }
        return algorithm.startsWith("NONE") ? MessageDigest.getInstance("SHA-384").digest(DATA) : DATA;
    }

    @ParameterizedTest
    @CsvSource({"NONEwithRSA, orv-rsa, SunJCE", "SHA1withRSA, orv-rsa, SunRsaSign",
        "SHA224withRSA, orv-rsa, SunRsaSign", "SHA256withRSA, orv-rsa, SunRsaSign",
        "SHA384withRSA, orv-rsa, SunRsaSign", "SHA512withRSA, orv-rsa, SunRsaSign",
        "NONEwithECDSA, orv-ec, SunEC", "SHA1withECDSA, orv-ec, SunEC", "SHA224withECDSA, orv-ec, SunEC",
        "SHA256withECDSA, orv-ec, SunEC", "SHA384withECDSA, orv-ec, SunEC", "SHA512withECDSA, orv-ec, SunEC",
        "NONEwithECDSAinP1363Format, orv-ec, SunEC", "SHA256withECDSAinP1363Format, orv-ec, SunEC",
        "SHA512withECDSAinP1363Format, orv-ec, SunEC"})
    void signaturesVerifyWithTheJdkAndHere(String algorithm, String alias, String jdkProvider) throws Exception {
        byte[] input = input(algorithm);
        byte[] signature = sign(algorithm, null, alias, input);
        assertTrue(verify(Signature.getInstance(algorithm, jdkProvider), null, alias, input, signature));
        Signature ours = Signature.getInstance(algorithm, ProviderToken.get().provider);
        assertTrue(verify(ours, null, alias, input, signature));
        signature[signature.length - 3] ^= 0x10;
        assertFalse(verify(Signature.getInstance(algorithm, jdkProvider), null, alias, input, signature));
        assertFalse(verify(ours, null, alias, input, signature));
    }

    @Test
    void pkcs1SignaturesAreTheSoftwareKeysOwn() throws Exception {
        SoftHsmSetup.KeyFiles files = new SoftHsmSetup.KeyFiles(ProviderToken.get().dir, ProviderToken.RSA);
        for (String algorithm : List.of("SHA1withRSA", "SHA224withRSA", "SHA384withRSA")) {
            assertArrayEquals(files.sign(algorithm, DATA), sign(algorithm, null, ProviderToken.RSA, DATA), algorithm);
        }
    }

    @ParameterizedTest
    @CsvSource({"SHA-256, SHA-256, 32", "SHA-384, SHA-384, 48", "SHA-1, SHA-1, 20", "SHA-512, SHA-256, 0",
        "SHA-256, SHA-1, 222"})
    void pssWithItsParameters(String hash, String mgfHash, int salt) throws Exception {
        PSSParameterSpec params = new PSSParameterSpec(hash, "MGF1", new MGF1ParameterSpec(mgfHash), salt, 1);
        byte[] signature = sign("RSASSA-PSS", params, ProviderToken.RSA, DATA);
        assertTrue(verify(Signature.getInstance("RSASSA-PSS", "SunRsaSign"), params, ProviderToken.RSA, DATA,
                signature));
        Signature ours = Signature.getInstance("RSASSA-PSS", ProviderToken.get().provider);
        assertTrue(verify(ours, params, ProviderToken.RSA, DATA, signature));
        assertFalse(verify(ours, params, ProviderToken.RSA, "other data".getBytes(StandardCharsets.UTF_8), signature));
    }

    @Test
    void refusesKeysNotItsOwnSoTheJcaMovesOn() throws Exception {
        PrivateKey software = new SoftHsmSetup.KeyFiles(ProviderToken.get().dir, ProviderToken.RSA).privateKey;
        Signature ours = Signature.getInstance("SHA256withRSA", ProviderToken.get().provider);
        assertEquals("ORVNative signs only with its own RSA token keys, not sun.security.rsa.RSAPrivateCrtKeyImpl",
                assertThrows(InvalidKeyException.class, () -> ours.initSign(software)).getMessage());
        assertThrows(InvalidKeyException.class, () -> ours.initSign(key(ProviderToken.EC)));
        // Installed first, the provider is passed over for a software key and chosen for its own.
        Signature any = Signature.getInstance("SHA256withRSA");
        any.initSign(software);
        assertEquals("SunRsaSign", any.getProvider().getName());
        Signature token = Signature.getInstance("SHA256withECDSA");
        token.initSign(key(ProviderToken.EC));
        assertEquals("ORVNative-test", token.getProvider().getName());
        assertEquals("RSASSA-PSS needs its PSSParameterSpec set before signing or verifying", assertThrows(
                java.security.SignatureException.class, () -> sign("RSASSA-PSS", null, ProviderToken.RSA, DATA))
                .getMessage());
    }

    @Test
    void manyThreadsSignAndDecryptAtOnce() throws Exception {
        ExecutorService pool = Executors.newFixedThreadPool(10);
        try {
            List<Future<Integer>> runs = new ArrayList<>();
            for (int t = 0; t < 2; t++) {
                byte[] secret = ("secret of thread " + t).getBytes(StandardCharsets.UTF_8);
                runs.add(pool.submit(() -> {
                    Cipher encrypter = Cipher.getInstance("RSA/ECB/PKCS1Padding", "SunJCE");
                    encrypter.init(Cipher.ENCRYPT_MODE, publicKey(ProviderToken.RSA));
                    Cipher decrypter = Cipher.getInstance("RSA/ECB/PKCS1Padding", ProviderToken.get().provider);
                    decrypter.init(Cipher.DECRYPT_MODE, key(ProviderToken.RSA));
                    int good = 0;
                    for (int i = 0; i < 25; i++) {
                        good += Arrays.equals(secret, decrypter.doFinal(encrypter.doFinal(secret))) ? 1 : 0;
                    }
                    return good;
                }));
            }
            for (int t = 0; t < 8; t++) {
                String algorithm = t % 2 == 0 ? "SHA256withRSA" : "SHA256withECDSA";
                String alias = t % 2 == 0 ? ProviderToken.RSA : ProviderToken.EC;
                byte[] data = ("thread " + t).getBytes(StandardCharsets.UTF_8);
                runs.add(pool.submit(() -> {
                    Signature verifier = Signature.getInstance(algorithm, jdkProvider(algorithm));
                    int good = 0;
                    for (int i = 0; i < 25; i++) {
                        good += verify(verifier, null, alias, data, sign(algorithm, null, alias, data)) ? 1 : 0;
                    }
                    return good;
                }));
            }
            for (Future<Integer> run : runs) {
                assertEquals(25, run.get(120, TimeUnit.SECONDS));
            }
        } finally {
            pool.shutdownNow();
        }
    }

    private static String jdkProvider(String algorithm) {
        return algorithm.endsWith("RSA") ? "SunRsaSign" : "SunEC";
    }
}
