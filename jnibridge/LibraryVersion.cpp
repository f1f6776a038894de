// The version text support reads off a shipped binary with `strings`.

// Kept although nothing refers to it: it is there to be found in the file.
[[gnu::used]] extern const char kLibraryVersion[] = "ORVNative " ORV_VERSION;
