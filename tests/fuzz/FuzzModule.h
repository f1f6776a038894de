// A PKCS#11 module whose every answer is chosen by the fuzzer: return values,
// reported lengths and counts, handles, slot lists and token descriptions all
// come, one byte at a time, from a source the fuzz target installs before
// each input. When the source runs dry every answer is the plain one (CKR_OK,
// nothing found, nothing listed), so each input ends.
//
// The module is honest about memory: it never writes more into a caller's
// buffer than the caller said the buffer holds, even when it reports more.
// What it wrote is kept in the journal, so the target can compare results.
// With a source installed, C_GetFunctionList may hand out a list with a few
// entries left empty, as some vendor modules do for functions they lack.
//
// Resolve the two functions from the same path the bridge loads, so both see
// one loaded instance.
#ifndef ORV_TESTS_FUZZ_FUZZMODULE_H
#define ORV_TESTS_FUZZ_FUZZMODULE_H

#include <cstddef>

extern "C" {

// Next answer byte; 0 once the input is used up.
typedef unsigned char (*FuzzAnswerSource)(void* context);

struct FuzzJournal {
    // The count the last C_GetSlotList size query reported.
    unsigned long slotCountQueried;
    // The list written by the last C_GetSlotList call that had a buffer.
    unsigned long slotListCalls;
    unsigned long slotIdsWritten;
    unsigned long slotIds[64];
    unsigned long slotCountReported;
    // The last output call (encrypt, decrypt, sign, digest final) with and
    // without a buffer; output byte k is (salt + 7 * k) mod 256.
    unsigned long queryLengthReported;
    unsigned long outputWritten;
    unsigned long outputReported;
    unsigned char outputSalt;
    // Handles handed out since the last C_FindObjectsInit.
    unsigned long handlesFound;
    unsigned long handles[64];
    // The last token description and random bytes written.
    unsigned char label[32];
    unsigned char manufacturerID[32];
    unsigned char model[16];
    unsigned char serialNumber[16];
    unsigned long tokenFlags;
    unsigned long sessionCount;
    unsigned char randomSalt;
    // Entries the last function list handed out left empty, by position from
    // C_Initialize on: non-zero where empty.
    unsigned char emptyEntries[68];
};

typedef void (*FuzzInstallSource)(FuzzAnswerSource source, void* context);
typedef FuzzJournal* (*FuzzJournalAccess)(void);

// Names to resolve: "orvfuzz_install_source" and "orvfuzz_journal".
}

// The byte every written output starts from, shared by module and target.
inline unsigned char fuzzOutputByte(unsigned char salt, unsigned long index)
{
    return static_cast<unsigned char>(salt + 7 * index);
}

#endif
