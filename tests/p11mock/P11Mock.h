/*
 * P11Mock.h - control API and default fixture of the fault-injecting PKCS#11
 * test module "orvp11mock" (liborvp11mock.so on Linux, orvp11mock.dll on win32).
 *
 * Plain C. Include it from C or C++ tests. It does not include any PKCS#11
 * header: every CK_ULONG-sized value is an `unsigned long` here, which is
 * CK_ULONG on both targets (32-bit on win32, 64-bit on Linux x86_64).
 *
 * The module is a normal PKCS#11 v2.40 module: it exports C_GetFunctionList
 * only (every other C_ function is reached through the CK_FUNCTION_LIST), built
 * against <p11-kit/pkcs11.h> (1-byte packed structures on win32). Besides that
 * it exports the plain cdecl, undecorated `mock_*` control functions below.
 * Tests should not link against the module: resolve the control functions at run
 * time from the same path the bridge loads (see P11MockControl.h), so both share
 * one loaded instance.
 *
 * Threads: one internal mutex guards all state; every C_ function and every
 * mock_ function may be called from any thread. C_WaitForSlotEvent does not hold
 * the mutex while it blocks.
 *
 * ---------------------------------------------------------------------------
 * DEFAULT FIXTURE (what mock_reset() establishes; also the state at load time)
 * ---------------------------------------------------------------------------
 * Slots, in C_GetSlotList order: 2, 5, 9, 11 (ids are not indexes).
 * C_GetSlotList(CK_TRUE) gives 2, 9, 11 (slot 5 is empty), so the bridge's slot
 * index 0 is slot 2, index 1 slot 9, index 2 slot 11.
 * All slots: CKF_REMOVABLE_DEVICE (see mock_set_removable) | CKF_HW_SLOT (+
 * CKF_TOKEN_PRESENT when a token is in), slotDescription "P11Mock Slot <id>" blank-padded to 64,
 * manufacturerID "ORV P11Mock" blank-padded to 32.
 *
 * Slot 2, token A (P11MOCK_SLOT_A):
 *   label "P11Mock Token A" + 17 blanks (32 bytes), manufacturerID "ORV P11Mock"
 *   (blank-padded 32), model "P11MOCK-A" (blank-padded 16), serialNumber
 *   "0000000000000002" (16), flags CKF_RNG|CKF_LOGIN_REQUIRED|
 *   CKF_USER_PIN_INITIALIZED|CKF_TOKEN_INITIALIZED (0x40D).
 *   SO PIN "87654321", user PIN "1234".
 *   Objects (handle: what). Byte strings are plain ASCII, no terminator:
 *   0x101 (257) X.509 certificate A: CKA_CLASS CKO_CERTIFICATE,
 *         CKA_CERTIFICATE_TYPE CKC_X_509, CKA_TOKEN true, CKA_ID "ID-A",
 *         CKA_LABEL "Cert A", CKA_VALUE P11MOCK_CERT_A ("P11MOCK-CERT-A-RSA").
 *   0x102 (258) RSA public key A: CKO_PUBLIC_KEY, CKA_KEY_TYPE CKK_RSA,
 *         CKA_ID "ID-A", CKA_LABEL "Key A", CKA_ENCRYPT true, CKA_VERIFY true,
 *         CKA_TOKEN true.
 *   0x103 (259) RSA private key A: CKO_PRIVATE_KEY, CKK_RSA, CKA_ID "ID-A",
 *         CKA_LABEL "Key A", CKA_DECRYPT true, CKA_SIGN true, CKA_PRIVATE true,
 *         CKA_TOKEN true.
 *   0x104 (260) X.509 certificate WITHOUT CKA_ID: CKO_CERTIFICATE, CKC_X_509,
 *         CKA_LABEL "Cert NoID", CKA_VALUE P11MOCK_CERT_NOID ("P11MOCK-CERT-NOID").
 *   0x105 (261) X.509 certificate E (EC): CKO_CERTIFICATE, CKC_X_509,
 *         CKA_ID "ID-E", CKA_LABEL "Cert E", CKA_VALUE P11MOCK_CERT_E
 *         ("P11MOCK-CERT-E-EC").
 *   0x106 (262) EC public key E: CKO_PUBLIC_KEY, CKA_KEY_TYPE CKK_EC, CKA_ID
 *         "ID-E", CKA_VERIFY true. It has NO CKA_ENCRYPT attribute (reading it
 *         gives CKR_ATTRIBUTE_TYPE_INVALID).
 *   0x107 (263) EC private key E: CKO_PRIVATE_KEY, CKK_EC, CKA_ID "ID-E",
 *         CKA_SIGN true, CKA_PRIVATE true. NO CKA_DECRYPT attribute.
 *   0x108 (264) data object: CKO_DATA, CKA_LABEL "P11Mock Data",
 *         CKA_APPLICATION "P11Mock", CKA_VALUE "data-value". No CKA_ID.
 *   0x109 (265) X.509 certificate B (private key only, no public key object):
 *         CKO_CERTIFICATE, CKC_X_509, CKA_ID "ID-B", CKA_LABEL "Cert B",
 *         CKA_VALUE P11MOCK_CERT_B ("P11MOCK-CERT-B-NOPUB").
 *   0x10A (266) RSA private key B: CKO_PRIVATE_KEY, CKK_RSA, CKA_ID "ID-B",
 *         CKA_DECRYPT true, CKA_SIGN true, CKA_PRIVATE true.
 *
 * Slot 5: no token (P11MOCK_SLOT_EMPTY).
 *
 * Slot 9, token C (P11MOCK_SLOT_C): label "P11Mock Token C" blank-padded,
 *   model "P11MOCK-C", serial "0000000000000009", flags CKF_LOGIN_REQUIRED|
 *   CKF_USER_PIN_INITIALIZED|CKF_TOKEN_INITIALIZED (0x40C: NO CKF_RNG, so
 *   C_GenerateRandom gives CKR_RANDOM_NO_RNG and C_SeedRandom
 *   CKR_RANDOM_SEED_NOT_SUPPORTED). SO PIN "22222222", user PIN "1111".
 *   0x201 (513) certificate C: CKC_X_509, CKA_ID "ID-C", CKA_LABEL "Cert C",
 *         CKA_VALUE P11MOCK_CERT_C ("P11MOCK-CERT-C-RSA").
 *   0x202 (514) RSA public key C (CKA_ID "ID-C", ENCRYPT/VERIFY true).
 *   0x203 (515) RSA private key C (CKA_ID "ID-C", DECRYPT/SIGN/PRIVATE true).
 *
 * Slot 11, token D (P11MOCK_SLOT_D): uninitialised token: label 32 blanks,
 *   model "P11MOCK-D", serial "0000000000000011", flags CKF_RNG only (0x1), no
 *   PINs, no objects. C_InitToken accepts any SO PIN on it.
 *
 * Session handles: 1, 2, 3, ... by default (see mock_set_next_session_handle).
 * Objects added later (C_CreateObject, mock_add_object) get 0x1000, 0x1001, ...
 * (see mock_set_next_object_handle). Handles are never reused until mock_reset.
 *
 * ---------------------------------------------------------------------------
 * BEHAVIOUR SUMMARY
 * ---------------------------------------------------------------------------
 * - Every C_ function but C_GetFunctionList and C_Initialize returns
 *   CKR_CRYPTOKI_NOT_INITIALIZED before C_Initialize. C_Initialize twice gives
 *   CKR_CRYPTOKI_ALREADY_INITIALIZED. C_Finalize closes all sessions, wakes
 *   blocked C_WaitForSlotEvent callers (they return CKR_CRYPTOKI_NOT_INITIALIZED)
 *   and keeps tokens, objects, PINs and queued events.
 * - Login state is per token (shared by all its sessions) and ends when the last
 *   session of the token closes or the token is removed.
 * - Token removal (mock_set_token_present(slot, 0)): slot flags lose
 *   CKF_TOKEN_PRESENT, C_GetSlotList(CK_TRUE) omits the slot, C_GetTokenInfo and
 *   C_OpenSession give CKR_TOKEN_NOT_PRESENT, all sessions of that token are
 *   dropped and any later call on one of their handles returns the "removed
 *   session" value (CKR_DEVICE_REMOVED by default, see
 *   mock_set_removed_session_rv) - also after re-insertion. Objects stay.
 * - C_GetAttributeValue: missing attribute -> ulValueLen =
 *   CK_UNAVAILABLE_INFORMATION and CKR_ATTRIBUTE_TYPE_INVALID; NULL pValue ->
 *   length; short buffer -> CK_UNAVAILABLE_INFORMATION + CKR_BUFFER_TOO_SMALL.
 *   CK_ULONG attributes are stored as sizeof(CK_ULONG) bytes, CK_BBOOL as 1 byte.
 * - Find: matches every template attribute byte for byte; results in object
 *   creation order; CKR_OPERATION_ACTIVE on a second C_FindObjectsInit (always,
 *   mock_allow_reinit does not apply to finds).
 * - Crypto (single-part only; multi-part Encrypt/Decrypt/Sign/Verify are
 *   CKR_FUNCTION_NOT_SUPPORTED). Any mechanism is accepted by Encrypt/Decrypt/
 *   Sign/Verify; the key must be a key object (public, private or secret) of the
 *   session's token, else CKR_KEY_HANDLE_INVALID. Key material = the key's CKA_ID
 *   (its handle when it has none), so a certificate's public and private key
 *   share it.
 *     Encrypt/Decrypt: output = input XOR keystream(key material, mechanism),
 *       same length as the input; Decrypt inverts Encrypt.
 *     Sign: P11MOCK_SIGNATURE_LEN (64) byte keyed checksum of (material,
 *       mechanism, data). Verify recomputes it: wrong length ->
 *       CKR_SIGNATURE_LEN_RANGE, mismatch -> CKR_SIGNATURE_INVALID.
 *     Length query: NULL output -> *len = true length (+ extra reported length
 *       for Encrypt/Decrypt/Sign), CKR_OK, operation stays active. Buffer shorter
 *       than the true length -> *len = reported length, CKR_BUFFER_TOO_SMALL,
 *       still active. Otherwise the output is written, *len = true length and the
 *       operation ends. Verify always ends the operation.
 *     Any Init while that kind of operation is active -> CKR_OPERATION_ACTIVE,
 *       unless mock_allow_reinit(1), which makes a second Init replace the first.
 *     Digest lengths: CKM_MD2/CKM_MD5 16, CKM_SHA_1/CKM_RIPEMD160 20, CKM_SHA224
 *       28, CKM_SHA256 32, CKM_SHA384 48, CKM_SHA512 64; other mechanisms ->
 *       CKR_MECHANISM_INVALID. C_DigestFinal/C_Digest: NULL buffer -> length;
 *       short buffer -> CKR_BUFFER_TOO_SMALL with the length (both keep the
 *       operation); else the digest, operation ends. Final without Init ->
 *       CKR_OPERATION_NOT_INITIALIZED.
 *     Random: deterministic generator, reseeded by mock_reset and mixed by
 *       C_SeedRandom. Tokens without CKF_RNG refuse as stated above. Length 0 ok.
 * - mock_set_require_login(1): objects with CKA_PRIVATE true are invisible
 *   (find, attributes, crypto, destroy) unless the user is logged in. Off by
 *   default: everything is visible without login.
 *
 * ---------------------------------------------------------------------------
 * CALL LOG
 * ---------------------------------------------------------------------------
 * One line per C_ call (C_GetFunctionList included), '\n'-terminated, written
 * when the call returns: the function name, then `key=value` fields separated by
 * single blanks, last `rv=0x<lowercase hex>`. Numbers (slot, session, object
 * handles, counts, lengths, userType) are unsigned decimal; flags and mechanism
 * types are 0x-hex; byte strings (PINs, label, seed) are lowercase hex, two
 * digits per byte ("" when empty, NULL for a NULL pointer). Pointer
 * arguments that are outputs show as out=NULL / out=set. A length that a call
 * left as CK_UNAVAILABLE_INFORMATION prints as UNAVAIL. An output value that the
 * call did not produce prints as "-".
 *   C_GetFunctionList rv=0x0
 *   C_Initialize args=NULL rv=0x0              (args=set for a non-NULL pointer)
 *   C_Finalize rv=0x0
 *   C_GetInfo rv=0x0
 *   C_GetSlotList tokenPresent=1 list=NULL countIn=0 countOut=3 rv=0x0
 *   C_GetSlotInfo slot=2 rv=0x0
 *   C_GetTokenInfo slot=2 rv=0x0
 *   C_WaitForSlotEvent flags=0x0 slot=9 rv=0x0  (slot=- unless an event was returned)
 *   C_GetMechanismList slot=2 list=NULL countIn=0 countOut=11 rv=0x0
 *   C_GetMechanismInfo slot=2 mechanism=0x1 rv=0x0
 *   C_InitToken slot=11 soPin=3837363534333231 soPinLen=8 label=<64 hex digits> rv=0x0
 *   C_InitPIN session=1 pin=31323334 pinLen=4 rv=0x0
 *   C_SetPIN session=1 oldPin=31323334 oldPinLen=4 newPin=35353535 newPinLen=4 rv=0x0
 *   C_OpenSession slot=2 flags=0x6 app=set notify=NULL session=1 rv=0x0
 *   C_CloseSession session=1 rv=0x0
 *   C_CloseAllSessions slot=2 rv=0x0
 *   C_GetSessionInfo session=1 rv=0x0
 *   C_Login session=2147483649 userType=1 pin=31323334 pinLen=4 rv=0x0
 *   C_Logout session=1 rv=0x0
 *   C_CreateObject session=1 template=[...] object=4096 rv=0x0
 *   C_DestroyObject session=1 object=257 rv=0x0
 *   C_GetAttributeValue session=1 object=257 attrs=[0x102:NULL:0:4] rv=0x0
 *       each attribute is type:buf:lenIn:lenOut, buf NULL or set, comma-separated
 *   C_SetAttributeValue session=1 object=257 template=[...] rv=0x0
 *   C_FindObjectsInit session=1 template=[0x0=1,0x80=0,0x11=5031314d] rv=0x0
 *       template attributes comma-separated as type=value; CKA_CLASS (0x0),
 *       CKA_CERTIFICATE_TYPE (0x80) and CKA_KEY_TYPE (0x100) of length
 *       sizeof(CK_ULONG) print their value in decimal, all others in hex
 *       (so the line is the same on win32 and Linux); a NULL value prints NULL
 *   C_FindObjects session=1 max=1 found=1 objects=257 rv=0x0
 *       (objects comma-separated, "" when none, found=- on failure)
 *   C_FindObjectsFinal session=1 rv=0x0
 *   C_EncryptInit session=1 mechanism=0x1 key=258 rv=0x0  (also Decrypt/Sign/VerifyInit)
 *   C_Encrypt session=1 dataLen=5 out=NULL lenIn=0 lenOut=5 rv=0x0  (also C_Decrypt,
 *       C_Sign, C_Digest; lenIn=NULL when the length pointer is NULL)
 *   C_Verify session=1 dataLen=5 sigLen=64 rv=0x0
 *   C_DigestInit session=1 mechanism=0x220 rv=0x0
 *   C_DigestUpdate session=1 partLen=5 rv=0x0
 *   C_DigestFinal session=1 out=set lenIn=20 lenOut=20 rv=0x0
 *   C_SeedRandom session=1 seed=616263 seedLen=3 rv=0x0
 *   C_GenerateRandom session=1 out=set len=16 rv=0x0
 *   any unsupported function: C_<Name> rv=0x54
 * An injected fault (mock_fail) returns before the function does anything: the
 * line shows the arguments as passed, outputs unchanged ("-" or lenOut=lenIn),
 * and the injected rv.
 */
#ifndef ORV_P11MOCK_H
#define ORV_P11MOCK_H

#include <stddef.h>

#ifdef _WIN32
#define P11MOCK_CALL __cdecl
#ifdef P11MOCK_BUILDING
#define P11MOCK_API __declspec(dllexport)
#else
#define P11MOCK_API
#endif
#else
#define P11MOCK_CALL
#ifdef P11MOCK_BUILDING
#define P11MOCK_API __attribute__((visibility("default")))
#else
#define P11MOCK_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- fixture constants ---------------------------------------------------- */
#define P11MOCK_SLOT_A 2UL     /* token A: full fixture                      */
#define P11MOCK_SLOT_EMPTY 5UL /* no token                                   */
#define P11MOCK_SLOT_C 9UL     /* token C: no CKF_RNG, one RSA cert + pair   */
#define P11MOCK_SLOT_D 11UL    /* token D: not initialised, no objects       */

#define P11MOCK_SO_PIN_A "87654321"
#define P11MOCK_USER_PIN_A "1234"
#define P11MOCK_SO_PIN_C "22222222"
#define P11MOCK_USER_PIN_C "1111"

#define P11MOCK_LABEL_A "P11Mock Token A                 " /* 32 bytes */
#define P11MOCK_LABEL_C "P11Mock Token C                 "
#define P11MOCK_LABEL_D "                                "
#define P11MOCK_MANUFACTURER "ORV P11Mock                     " /* 32 bytes */
#define P11MOCK_MODEL_A "P11MOCK-A       "                      /* 16 bytes */
#define P11MOCK_MODEL_C "P11MOCK-C       "
#define P11MOCK_MODEL_D "P11MOCK-D       "
#define P11MOCK_SERIAL_A "0000000000000002"
#define P11MOCK_SERIAL_C "0000000000000009"
#define P11MOCK_SERIAL_D "0000000000000011"

#define P11MOCK_CERT_A "P11MOCK-CERT-A-RSA" /* CKA_VALUE bytes, no NUL */
#define P11MOCK_CERT_NOID "P11MOCK-CERT-NOID"
#define P11MOCK_CERT_E "P11MOCK-CERT-E-EC"
#define P11MOCK_CERT_B "P11MOCK-CERT-B-NOPUB"
#define P11MOCK_CERT_C "P11MOCK-CERT-C-RSA"
#define P11MOCK_ID_A "ID-A" /* CKA_ID bytes, no NUL */
#define P11MOCK_ID_E "ID-E"
#define P11MOCK_ID_B "ID-B"
#define P11MOCK_ID_C "ID-C"

#define P11MOCK_H_CERT_A 0x101UL
#define P11MOCK_H_PUB_A 0x102UL
#define P11MOCK_H_PRIV_A 0x103UL
#define P11MOCK_H_CERT_NOID 0x104UL
#define P11MOCK_H_CERT_E 0x105UL
#define P11MOCK_H_PUB_E 0x106UL
#define P11MOCK_H_PRIV_E 0x107UL
#define P11MOCK_H_DATA 0x108UL
#define P11MOCK_H_CERT_B 0x109UL
#define P11MOCK_H_PRIV_B 0x10AUL
#define P11MOCK_H_CERT_C 0x201UL
#define P11MOCK_H_PUB_C 0x202UL
#define P11MOCK_H_PRIV_C 0x203UL

#define P11MOCK_FIRST_SESSION_HANDLE 1UL
#define P11MOCK_FIRST_NEW_OBJECT 0x1000UL
#define P11MOCK_SIGNATURE_LEN 64UL

/* Same layout as CK_ATTRIBUTE on every target, so an array of CK_ATTRIBUTE
   may be passed wherever attributes are expected. Windows packs it to 1 byte,
   which matters on x64, where a 32-bit unsigned long sits before a pointer. */
#ifdef _WIN32
#pragma pack(push, 1)
#endif
typedef struct P11MockAttribute {
    unsigned long type;
    void* pValue;
    unsigned long ulValueLen;
} P11MockAttribute;
#ifdef _WIN32
#pragma pack(pop)
#endif

/* ---- lifecycle ------------------------------------------------------------ */

/* Restore the default fixture: tokens, objects, PINs, labels, flags as above;
   all sessions dropped (their handles become unknown: CKR_SESSION_HANDLE_INVALID);
   no login; event queue emptied; faults cleared; call counts zeroed; log cleared
   and enabled; options back to defaults (extra length 0, reinit off, removed-
   session rv CKR_DEVICE_REMOVED, require-login off, auto slot events off); next
   session handle 1, next object handle 0x1000; random generator reseeded;
   the full function list handed out.
   It does NOT change whether the module is initialised (a bridge that called
   C_Initialize keeps working; see mock_set_initialized). */
P11MOCK_API void P11MOCK_CALL mock_reset(void);

/* 1 between C_Initialize and C_Finalize, else 0. */
P11MOCK_API int P11MOCK_CALL mock_is_initialized(void);

/* Force the initialised state without a C_ call and without a log line.
   0: as C_Finalize (sessions closed, blocked waiters woken), so the next
   C_Initialize succeeds. 1: as C_Initialize. */
P11MOCK_API void P11MOCK_CALL mock_set_initialized(int on);

/* ---- tokens and slots ----------------------------------------------------- */

/* Remove (present = 0) or re-insert (present != 0) the token of a slot.
   Returns 0, or -1 for an unknown slot id. Removing drops the token's sessions
   and login state (see BEHAVIOUR SUMMARY). Inserting a token into slot 5 gives
   an uninitialised blank token like token D (model "P11MOCK-B", serial
   "0000000000000005", flags CKF_RNG).
   Queues a slot event only when mock_set_auto_slot_events(1). */
P11MOCK_API int P11MOCK_CALL mock_set_token_present(unsigned long slotId, int present);

/* When on, every change made by mock_set_token_present also queues a slot event
   for that slot. Off by default. */
P11MOCK_API void P11MOCK_CALL mock_set_auto_slot_events(int on);

/* Append slotId (any value) to the event queue and wake every blocked
   C_WaitForSlotEvent; one of them takes it. Events are returned first in, first out. */
P11MOCK_API void P11MOCK_CALL mock_queue_slot_event(unsigned long slotId);

/* Number of queued, not yet returned events. */
P11MOCK_API unsigned long P11MOCK_CALL mock_pending_slot_events(void);

/* Number of threads currently blocked inside C_WaitForSlotEvent. */
P11MOCK_API unsigned long P11MOCK_CALL mock_waiting_count(void);

/* Set token text fields; NULL keeps a field. Each is copied and blank-padded to
   its width (label and manufacturer 32, model and serial 16), longer input is
   cut. Returns 0, or -1 for an unknown slot id. */
P11MOCK_API int P11MOCK_CALL mock_set_token_info(unsigned long slotId, const char* label, const char* manufacturer,
                                                 const char* model, const char* serial);

/* Set the label field byte for byte, zero bytes included: length (at most 32)
   bytes, then blanks. Returns 0, or -1 for an unknown slot id or a longer label. */
P11MOCK_API int P11MOCK_CALL mock_set_token_label(unsigned long slotId, const void* bytes, unsigned long length);

/* Token flags (CK_TOKEN_INFO.flags) of a slot's token. set returns 0 / -1;
   get returns the flags, or 0 for an unknown slot. With CKF_WRITE_PROTECTED
   set, C_OpenSession refuses CKF_RW_SESSION with CKR_TOKEN_WRITE_PROTECTED. */
P11MOCK_API int P11MOCK_CALL mock_set_token_flags(unsigned long slotId, unsigned long flags);
P11MOCK_API unsigned long P11MOCK_CALL mock_get_token_flags(unsigned long slotId);

/* removable == 0 clears CKF_REMOVABLE_DEVICE from the slot's C_GetSlotInfo
   flags, as a fixed slot's; mock_reset makes every slot removable again.
   Returns 0, or -1 for an unknown slot id. */
P11MOCK_API int P11MOCK_CALL mock_set_removable(unsigned long slotId, int removable);

/* Set a token's user or SO PIN (bytes, length). pin NULL: no PIN set (user:
   clears CKF_USER_PIN_INITIALIZED; a user login then gives
   CKR_USER_PIN_NOT_INITIALIZED). Returns 0 / -1. */
P11MOCK_API int P11MOCK_CALL mock_set_user_pin(unsigned long slotId, const char* pin, unsigned long len);
P11MOCK_API int P11MOCK_CALL mock_set_so_pin(unsigned long slotId, const char* pin, unsigned long len);

/* Copy the token's current user / SO PIN into buf (no terminator added if
   cap is exactly the length; a NUL is added when room is left). Returns its
   length, or -1 for an unknown slot or no PIN set. */
P11MOCK_API long P11MOCK_CALL mock_get_user_pin(unsigned long slotId, char* buf, size_t cap);
P11MOCK_API long P11MOCK_CALL mock_get_so_pin(unsigned long slotId, char* buf, size_t cap);

/* Copy the token's 32-byte label (as last set, e.g. by C_InitToken) into buf
   (cap >= 32; a NUL is added when cap > 32). Returns 32, or -1. */
P11MOCK_API long P11MOCK_CALL mock_get_token_label(unsigned long slotId, char* buf, size_t cap);

/* Who is logged in on the slot's token: -1 nobody, 0 CKU_SO, 1 CKU_USER,
   -2 unknown slot. */
P11MOCK_API int P11MOCK_CALL mock_get_login_state(unsigned long slotId);

/* Number of open sessions on the slot's token (0 for an unknown slot). */
P11MOCK_API unsigned long P11MOCK_CALL mock_session_count(unsigned long slotId);

/* ---- sessions and handles ------------------------------------------------- */

/* The next C_OpenSession returns h, the following h+1, ... (values >= 0x80000000
   allowed; 0 is skipped). */
P11MOCK_API void P11MOCK_CALL mock_set_next_session_handle(unsigned long h);

/* The next new object (C_CreateObject / mock_add_object) gets h, then h+1, ...
   A handle already in use is skipped. */
P11MOCK_API void P11MOCK_CALL mock_set_next_object_handle(unsigned long h);

/* Return value for calls on sessions lost by token removal: CKR_DEVICE_REMOVED
   (0x32, default) or CKR_SESSION_CLOSED (0xB0) (any value is accepted). */
P11MOCK_API void P11MOCK_CALL mock_set_removed_session_rv(unsigned long rv);

/* ---- objects -------------------------------------------------------------- */

/* Add an object with the given attributes (an array of CK_ATTRIBUTE or
   P11MockAttribute; values copied) to the slot's token (present or not).
   Returns the new handle, or 0 for an unknown slot / NULL attrs with count > 0. */
P11MOCK_API unsigned long P11MOCK_CALL mock_add_object(unsigned long slotId, const void* attrs, unsigned long count);

/* Remove an object from whatever token holds it. Returns 0, or -1 if unknown. */
P11MOCK_API int P11MOCK_CALL mock_remove_object(unsigned long handle);

/* 1 if an object with that handle exists on any token, else 0. */
P11MOCK_API int P11MOCK_CALL mock_object_exists(unsigned long handle);

/* Number of objects on the slot's token (0 for an unknown slot). */
P11MOCK_API unsigned long P11MOCK_CALL mock_object_count(unsigned long slotId);

/* Copy attribute `type` of object `handle` into buf (up to cap bytes; buf may be
   NULL). Returns the attribute's full length, or -1 if the object or attribute
   does not exist. */
P11MOCK_API long P11MOCK_CALL mock_get_attribute(unsigned long handle, unsigned long type, void* buf, size_t cap);

/* Set (add or replace) attribute `type` of object `handle`; value NULL with
   len 0 stores an empty value. Returns 0, or -1 if the object is unknown. */
P11MOCK_API int P11MOCK_CALL mock_set_attribute(unsigned long handle, unsigned long type, const void* value,
                                                unsigned long len);

/* Delete attribute `type` of object `handle`. Returns 0, or -1 if either is unknown. */
P11MOCK_API int P11MOCK_CALL mock_remove_attribute(unsigned long handle, unsigned long type);

/* ---- behaviour switches ----------------------------------------------------- */

/* Fault injection. functionName is a PKCS#11 function name ("C_SignInit", ...;
   all 68 v2.40 names incl. C_GetFunctionList are accepted). nth == 0: every call
   from now on returns rv. nth == n >= 1: only the n-th call from now (counting
   calls made after this mock_fail) returns rv; the fault is then used up.
   Several faults may be set for one function; the first matching one wins.
   An injected call does nothing else (no output written, no state change) but is
   logged. Returns 0, or -1 for an unknown name. */
P11MOCK_API int P11MOCK_CALL mock_fail(const char* functionName, unsigned long rv, unsigned long nth);

/* The function list C_GetFunctionList hands out from now on leaves the
   entries of the named functions empty (NULL), as some vendor modules do for
   functions they lack: names separated by blanks, e.g. "C_SeedRandom
   C_WaitForSlotEvent". NULL or "" hands out the full list again, as does
   mock_reset. A list already handed out never changes. Returns 0, or -1 for
   an unknown name (nothing changes then). */
P11MOCK_API int P11MOCK_CALL mock_set_empty_entries(const char* names);

/* Remove every fault. */
P11MOCK_API void P11MOCK_CALL mock_clear_faults(void);

/* Every call of that function from now on sleeps inside the module for up to
   milliseconds before it does anything (0: no sleep), without holding the
   module's state, so control functions answer meanwhile. A sleep ends early
   when the delay is taken away or changed. Returns 0, or -1 for an unknown
   name. mock_reset takes every delay away. */
P11MOCK_API int P11MOCK_CALL mock_set_call_delay(const char* functionName, unsigned long milliseconds);

/* Calls of that function since mock_reset (injected ones included); 0 for an
   unknown name. */
P11MOCK_API unsigned long P11MOCK_CALL mock_call_count(const char* functionName);

/* NULL-buffer length queries of C_Encrypt, C_Decrypt and C_Sign report n bytes
   more than the real output; the call with a buffer still writes and reports
   only the true length. Default 0. */
P11MOCK_API void P11MOCK_CALL mock_set_extra_reported_length(unsigned long n);

/* on != 0: C_EncryptInit/C_DecryptInit/C_SignInit/C_VerifyInit/C_DigestInit on
   an active operation of the same kind restarts it with CKR_OK instead of
   CKR_OPERATION_ACTIVE. Default off. */
P11MOCK_API void P11MOCK_CALL mock_allow_reinit(int on);

/* on != 0: objects with CKA_PRIVATE true are invisible unless CKU_USER is
   logged in on their token. Default off. */
P11MOCK_API void P11MOCK_CALL mock_set_require_login(int on);

/* ---- call log ---------------------------------------------------------------- */

/* Forget every logged line. */
P11MOCK_API void P11MOCK_CALL mock_log_clear(void);

/* Copy the log (all lines, each ending in '\n') into buf, at most cap - 1 bytes
   plus a terminating NUL (buf may be NULL when cap is 0). Returns the size
   needed for the whole log including the NUL. */
P11MOCK_API size_t P11MOCK_CALL mock_log_copy(char* buf, size_t cap);

/* Number of lines in the log. */
P11MOCK_API unsigned long P11MOCK_CALL mock_log_line_count(void);

/* on == 0 stops logging (for long concurrency runs); default on. */
P11MOCK_API void P11MOCK_CALL mock_log_enable(int on);

/* ---- single-threaded mode ------------------------------------------------------ */

/* on != 0 makes the module act as one initialised without locking may: it
   assumes no two threads are ever inside it at once, and checks. A C_ call
   (C_GetFunctionList and C_WaitForSlotEvent excepted) that finds another call
   still inside returns CKR_GENERAL_ERROR at once and is counted as an overlap.
   Each call also lingers briefly inside, so an overlap is hard to miss.
   mock_reset turns the mode off and clears the count. */
P11MOCK_API void P11MOCK_CALL mock_set_single_threaded(int on);

/* Overlaps seen since mock_reset. */
P11MOCK_API unsigned long P11MOCK_CALL mock_overlap_count(void);

#ifdef __cplusplus
}
#endif

#endif /* ORV_P11MOCK_H */
