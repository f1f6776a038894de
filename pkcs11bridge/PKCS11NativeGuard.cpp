#include "pkcs11bridge/PKCS11NativeGuard.h"

#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JavaExceptions.h"
#include "pkcs11bridge/PKCS11Exception.h"

namespace PKCS11Bridge {

namespace {

const char* const pkcs11ExceptionClass = "orvane/clapi/crypto/PKCS11Exception";
const char* const indexOutOfBoundsClass = "java/lang/IndexOutOfBoundsException";

} // namespace

void raiseCaughtPKCS11Failure(IndexFailure indexFailure)
{
    try {
        throw;
    } catch (const PKCS11Exception& e) {
        raiseJavaException(pkcs11ExceptionClass, e.getMessage());
    } catch (const JNIBridge::IndexOutOfBoundsException& e) {
        raiseJavaException(indexFailure == IndexFailure::raisedAsIndexOutOfBounds ? indexOutOfBoundsClass
                                                                                  : pkcs11ExceptionClass,
                           e.getMessage());
    } catch (const JNIBridge::JNIException& e) {
        raiseJavaException(pkcs11ExceptionClass, e.getMessage());
    }
}

} // namespace PKCS11Bridge
