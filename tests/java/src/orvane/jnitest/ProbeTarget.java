package orvane.jnitest;

/** Built by WrapperProbe.construct; remembers what its constructor was given. */
public final class ProbeTarget {
    final String text;
    final int number;
    final boolean flag;
    final byte[] bytes;

    public ProbeTarget(String text, int number, boolean flag, byte[] bytes) {
        this.text = text;
        this.number = number;
        this.flag = flag;
        this.bytes = bytes;
    }

    public ProbeTarget() {
        this(null, -1, false, null);
    }
}
