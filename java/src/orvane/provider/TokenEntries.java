package orvane.provider;

import java.io.ByteArrayInputStream;
import java.security.GeneralSecurityException;
import java.security.MessageDigest;
import java.security.NoSuchAlgorithmException;
import java.security.cert.Certificate;
import java.security.cert.CertificateException;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.util.ArrayList;
import java.util.Collections;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import javax.naming.InvalidNameException;
import javax.naming.ldap.LdapName;
import javax.naming.ldap.Rdn;
import javax.security.auth.x500.X500Principal;
import orvane.clapi.crypto.PKCS11Exception;

/**
 * One load's entries, by alias. An alias is the certificate subject's common
 * name (the whole subject where it has none); certificates sharing one get
 * " (" and the first 8 hex digits of their SHA-256 fingerprint ")" appended,
 * so an alias stays the same from load to load while the token's
 * certificates of that name stay the same.
 */
final class TokenEntries {
    static final TokenEntries EMPTY = new TokenEntries(Collections.<String, Entry>emptyMap());

    /** A certificate and, where a private key shares its CKA_ID, that key. */
    static final class Entry {
        final X509Certificate certificate;
        final TokenKey key;

        Entry(X509Certificate certificate, TokenKey key) {
            this.certificate = certificate;
            this.key = key;
        }
    }

    private final Map<String, Entry> byAlias;

    private TokenEntries(Map<String, Entry> byAlias) {
        this.byAlias = byAlias;
    }

    static TokenEntries read(int moduleId, int slotIndex) throws PKCS11Exception, CertificateException {
        List<TokenSlot.StoredCertificate> stored = TokenSlot.certificates(moduleId, slotIndex);
        List<byte[]> keyIds = TokenSlot.privateKeyIds(moduleId, slotIndex);
        CertificateFactory factory = CertificateFactory.getInstance("X.509");
        List<Entry> found = new ArrayList<>();
        Map<String, Integer> names = new HashMap<>();
        for (TokenSlot.StoredCertificate certificate : stored) {
            X509Certificate x509 = (X509Certificate) factory.generateCertificate(
                    new ByteArrayInputStream(certificate.value));
            TokenKey key = TokenSlot.contains(keyIds, certificate.id) ? TokenKey.of(moduleId, slotIndex, x509) : null;
            found.add(new Entry(x509, key));
            names.merge(name(x509), 1, Integer::sum);
        }
        Map<String, Entry> byAlias = new LinkedHashMap<>();
        for (Entry entry : found) {
            String alias = name(entry.certificate);
            if (names.get(alias) > 1) {
                alias += " (" + fingerprint(entry.certificate) + ")";
            }
            byAlias.put(alias, entry);
        }
        return new TokenEntries(Collections.unmodifiableMap(byAlias));
    }

    Entry get(String alias) {
        return alias == null ? null : byAlias.get(alias);
    }

    List<String> aliases() {
        return new ArrayList<>(byAlias.keySet());
    }

    String aliasOf(Certificate certificate) {
        for (Map.Entry<String, Entry> entry : byAlias.entrySet()) {
            if (entry.getValue().certificate.equals(certificate)) {
                return entry.getKey();
            }
        }
        return null;
    }

    /** CERTIFICATE, then each issuer among the token's certificates whose key verifies it, to a self-signed one. */
    List<Certificate> chainOf(X509Certificate certificate) {
        List<Certificate> chain = new ArrayList<>();
        X509Certificate current = certificate;
        while (current != null && !chain.contains(current)) {
            chain.add(current);
            current = selfIssued(current) ? null : issuerOf(current);
        }
        return chain;
    }

    private X509Certificate issuerOf(X509Certificate certificate) {
        for (Entry entry : byAlias.values()) {
            X509Certificate candidate = entry.certificate;
            if (candidate.getSubjectX500Principal().equals(certificate.getIssuerX500Principal())) {
                try {
                    certificate.verify(candidate.getPublicKey());
                    return candidate;
                } catch (GeneralSecurityException notThisOne) {
                    // another certificate of the same subject may be the issuer
                }
            }
        }
        return null;
    }

    private static boolean selfIssued(X509Certificate certificate) {
        return certificate.getSubjectX500Principal().equals(certificate.getIssuerX500Principal());
    }

    private static String name(X509Certificate certificate) {
        String subject = certificate.getSubjectX500Principal().getName(X500Principal.RFC2253);
        try {
            List<Rdn> rdns = new LdapName(subject).getRdns();
            // LdapName lists the most specific part last.
            for (int i = rdns.size() - 1; i >= 0; i--) {
                if (rdns.get(i).getType().equalsIgnoreCase("CN")) {
                    return String.valueOf(rdns.get(i).getValue());
                }
            }
        } catch (InvalidNameException e) {
            // fall back to the subject as it is
        }
        return subject;
    }

    private static String fingerprint(X509Certificate certificate) {
        try {
            byte[] digest = MessageDigest.getInstance("SHA-256").digest(certificate.getEncoded());
            StringBuilder hex = new StringBuilder();
            for (int i = 0; i < 4; i++) {
                hex.append(String.format("%02x", digest[i] & 0xff));
            }
            return hex.toString();
        } catch (NoSuchAlgorithmException | CertificateException e) {
            throw new IllegalStateException("SHA-256 over a certificate failed", e);
        }
    }
}
