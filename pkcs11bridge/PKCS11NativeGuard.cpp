// Which Java exception each failure of a PKCS#11 native becomes.
#include "pkcs11bridge/PKCS11NativeGuard.h"

#include "jnibridge/IndexOutOfBoundsException.h"
#include "jnibridge/JNIException.h"
#include "jnibridge/JavaExceptions.h"
#include "pkcs11bridge/PKCS11Exception.h"

namespace PKCS11Bridge {

namespace {

const char* const kPKCS11ExceptionClass = "orvane/clapi/crypto/PKCS11Exception";
const char* const kIndexOutOfBoundsClass = "java/lang/IndexOutOfBoundsException";

} // namespace

void raiseCaughtPKCS11Failure(IndexFailure indexFailure)
{
    try {
        throw;
    } catch (const PKCS11Exception& e) {
        JNIBridge::raiseJavaException(kPKCS11ExceptionClass, e.getMessage());
    } catch (const JNIBridge::IndexOutOfBoundsException& e) {
        JNIBridge::raiseJavaException(indexFailure == IndexFailure::raisedAsIndexOutOfBounds ? kIndexOutOfBoundsClass
                                                                                             : kPKCS11ExceptionClass,
                                      e.getMessage());
    } catch (const JNIBridge::JNIException& e) {
        JNIBridge::raiseJavaException(kPKCS11ExceptionClass, e.getMessage());
    }
}

} // namespace PKCS11Bridge
