package orvane.clapi.crypto;

/** The description of a token, as C_GetTokenInfo reports it; text fields keep their blank padding. */
public final class PKCS11TokenInfo {
    private final String label;
    private final String manufacturerID;
    private final String model;
    private final String serialNumber;
    private final int sessionCount;
    private final boolean hasRNG;
    private final boolean loginRequired;

    public PKCS11TokenInfo(String label, String manufacturerID, String model, String serialNumber,
            int sessionCount, boolean hasRNG, boolean loginRequired) {
        this.label = label;
        this.manufacturerID = manufacturerID;
        this.model = model;
        this.serialNumber = serialNumber;
        this.sessionCount = sessionCount;
        this.hasRNG = hasRNG;
        this.loginRequired = loginRequired;
    }

    public String getLabel() {
        return label;
    }

    public String getManufacturerID() {
        return manufacturerID;
    }

    public String getModel() {
        return model;
    }

    public String getSerialNumber() {
        return serialNumber;
    }

    public int getSessionCount() {
        return sessionCount;
    }

    public boolean hasRNG() {
        return hasRNG;
    }

    public boolean isLoginRequired() {
        return loginRequired;
    }

    @Override
    public String toString() {
        return "PKCS11TokenInfo[label=" + label.trim() + ", manufacturer=" + manufacturerID.trim()
                + ", model=" + model.trim() + ", serial=" + serialNumber.trim() + "]";
    }
}
