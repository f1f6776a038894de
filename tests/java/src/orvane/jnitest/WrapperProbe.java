package orvane.jnitest;

/** Natives of the orvjnitest library, which drive the JNI frame's wrappers from a real JVM. */
final class WrapperProbe {
    static {
        System.loadLibrary("orvjnitest");
    }

    private WrapperProbe() {
    }

    static native String roundTripString(String text);

    static native byte[] roundTripBytes(byte[] bytes);

    /** The bytes taken as a module's UTF-8 text and handed to Java as a string. */
    static native String stringFromBytes(byte[] bytes);

    static native Object copyAndReturn(Object object);

    /** shape 0: (String, int, boolean, byte[]) with ("text", 42, true, {1, 2, 3}); 1: (int); 2: (). */
    static native Object construct(String className, int shape);

    /** null when run() left nothing pending, else {message, held throwable, Boolean still pending}. */
    static native Object[] checkAfterCall(Runnable runnable, String context, String detail);

    static native String methodLookupFailure(String className, String name, String signature, boolean stringResult);

    static native void raise(String className, String message);

    static native void raiseCapturing(String className, String message);

    static native void throwCapturing(String className, String message);

    static native String capturedStderr();

    static native boolean[] attachFromNewThread();

    static native int[] countToStringLookups(int conversions);

    static native int[] concurrentFirstLookup(int threads);

    /** {global references made, deleted} while two wrappers are made, one assigned to the other, both destroyed. */
    static native int[] countAssignmentGlobals(Object first, Object second);

    static native void newByteArray(int size);

    static native int guarded(int kind);

    static native void guardedVoid(int kind);

    static native String[] typeDescriptors();

    static native int callOnLoadOf(String libraryPath);
}
