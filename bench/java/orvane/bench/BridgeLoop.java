package orvane.bench;

import java.nio.file.Path;
import java.util.EnumSet;

/**
 * Runs one benchmark operation through the bridge a given number of times on the benchmark's SoftHSM2 tokens,
 * for callgrind.sh's instruction counts against a real module. Arguments: MODULE WORK PIN-VARIABLE CODE COUNT.
 */
public final class BridgeLoop {
    private BridgeLoop() {
    }

    public static void main(String[] args) throws Exception {
        Inputs inputs = new Inputs(Path.of(args[1]));
        Operation operation = Operation.valueOf(args[3]);
        int count = Integer.parseInt(args[4]);
        BridgePath bridge = new BridgePath(args[0], inputs, System.getenv(args[2]),
                EnumSet.of(Operation.Token.MAIN, operation.token));
        Sample sample = bridge.run(operation, count, 0);
        if (sample.count != count) {
            throw new IllegalStateException("ran " + sample.count + " of " + count);
        }
    }
}
