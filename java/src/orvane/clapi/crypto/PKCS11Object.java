package orvane.clapi.crypto;

/** A token object: its handle and its CKA_ID. */
public final class PKCS11Object {
    private final int handle;
    private final byte[] id;

    public PKCS11Object(int handle, byte[] id) {
        this.handle = handle;
        this.id = id.clone();
    }

    public int getHandle() {
        return handle;
    }

    public byte[] getId() {
        return id.clone();
    }
}
