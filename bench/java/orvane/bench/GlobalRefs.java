package orvane.bench;

/** The JVM's JNI global reference count (liborvbenchrefs.so). */
final class GlobalRefs {
    private GlobalRefs() {
    }

    static native long count();
}
