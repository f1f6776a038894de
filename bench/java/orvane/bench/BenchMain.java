package orvane.bench;

import java.nio.file.Path;
import java.util.ArrayList;
import java.util.EnumSet;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;

/**
 * The benchmark driver: checks every path's results, then times each operation through every path that has it,
 * interleaved round by round so that a shared machine's noise falls on all of them alike.
 *
 * <p>Options: --module M --module-copy C --direct PROGRAM --work DIR --pin-env VAR --out FILE.json
 * [--rounds N] [--warmup-ms N] [--budget-ms N] [--slices N] [--lists 1,10,100] [--only code,code]
 */
public final class BenchMain {
    private BenchMain() {
    }

    public static void main(String[] args) throws Exception {
        Map<String, String> options = options(args);
        String pin = System.getenv(options.get("pin-env"));
        if (pin == null) {
            throw new IllegalArgumentException("the PIN variable " + options.get("pin-env") + " is not set");
        }
        Inputs inputs = new Inputs(Path.of(options.get("work")));
        int rounds = Integer.parseInt(options.getOrDefault("rounds", "5"));
        long warmup = Long.parseLong(options.getOrDefault("warmup-ms", "300"));
        long budget = Long.parseLong(options.getOrDefault("budget-ms", "300"));
        int slices = Integer.parseInt(options.getOrDefault("slices", "10"));
        List<Operation> operations = operations(options.getOrDefault("lists", "1,10,100"), options.get("only"));
        Set<Operation.Token> tokens = EnumSet.noneOf(Operation.Token.class);
        for (Operation operation : operations) {
            tokens.add(operation.token);
        }
        tokens.add(Operation.Token.MAIN);

        List<BenchPath> paths = new ArrayList<>();
        try {
            paths.add(new DirectPath(options.get("direct"), options.get("module"), inputs, pin));
            BridgePath bridge = new BridgePath(options.get("module"), inputs, pin, tokens);
            paths.add(bridge);
            paths.add(new SunPath(options.get("module-copy"), inputs, pin, tokens));
            paths.add(new ProviderPath(options.get("module"), bridge, inputs, pin));
            ResultCheck check = new ResultCheck(inputs);
            for (Operation operation : operations) {
                for (BenchPath path : paths) {
                    if (path.supports(operation)) {
                        check.check(path, operation);
                    }
                }
            }
            System.out.println("Every result checked: signatures by java.security, digests against openssl,"
                    + " plaintext, random draws and certificate sets against the set-up files.");
            Report report = measure(paths, operations, rounds, warmup, budget, slices);
            System.out.println();
            System.out.print(report.table());
            Map<String, Object> settings = new LinkedHashMap<>();
            settings.put("rounds", rounds);
            settings.put("warmupMillis", warmup);
            settings.put("budgetMillis", budget);
            settings.put("slices", slices);
            settings.put("module", options.get("module"));
            settings.put("ratio", "median over rounds of the bridge rate divided by the other path rate in the same round");
            report.writeJson(Path.of(options.get("out")), settings);
            System.out.println("\nFigures written to " + options.get("out"));
        } finally {
            for (BenchPath path : paths) {
                path.close();
            }
        }
    }

    private static Report measure(List<BenchPath> paths, List<Operation> operations, int rounds, long warmup,
            long budget, int slices) throws Exception {
        List<String> names = new ArrayList<>();
        for (BenchPath path : paths) {
            names.add(path.name());
        }
        // Batches of about 5 ms keep clock reads out of the figures.
        Map<String, Integer> batches = new HashMap<>();
        Map<Operation, Double> slowestRates = new HashMap<>();
        for (Operation operation : operations) {
            for (BenchPath path : paths) {
                if (path.supports(operation)) {
                    double rate = path.run(operation, 1, warmup).opsPerSecond();
                    batches.put(path.name() + operation.ordinal(), (int) Math.max(1, Math.min(1_000_000, rate / 200)));
                    slowestRates.merge(operation, rate, Math::min);
                }
            }
        }
        Report report = new Report(names);
        for (int round = 0; round < rounds; round++) {
            System.out.printf("round %d of %d%n", round + 1, rounds);
            for (Operation operation : operations) {
                int cuts = (int) Math.max(1, Math.min(slices, slowestRates.get(operation) * budget / 1000 / 4));
                report.addRound(operation, round(paths, operation, batches, round, budget, cuts));
            }
        }
        return report;
    }

    /**
     * One round of an operation: each path's budget cut into slices that take turns, path by path, so that the
     * machine's speed, which drifts from one second to the next on a shared host, weighs alike on every path.
     * A slow operation gets fewer slices (cuts), each still holding several operations.
     */
    private static Map<String, Sample> round(List<BenchPath> paths, Operation operation,
            Map<String, Integer> batches, int round, long budget, int cuts) throws Exception {
        Map<String, Sample> totals = new LinkedHashMap<>();
        for (int cut = 0; cut < cuts; cut++) {
            // The order of the paths turns each slice.
            for (int i = 0; i < paths.size(); i++) {
                BenchPath path = paths.get((i + cut + round) % paths.size());
                if (path.supports(operation)) {
                    Sample sample = path.run(operation, batches.get(path.name() + operation.ordinal()),
                            budget / cuts);
                    totals.merge(path.name(), sample, Sample::plus);
                }
            }
        }
        return totals;
    }

    private static List<Operation> operations(String lists, String only) {
        List<Operation> chosen = new ArrayList<>();
        List<String> sizes = List.of(lists.split(","));
        List<String> codes = only == null ? null : List.of(only.split(","));
        for (Operation operation : Operation.values()) {
            int listed = operation.listedCertificates();
            if (listed > 0 && !sizes.contains(Integer.toString(listed))) {
                continue;
            }
            if (codes != null && !codes.contains(operation.code)) {
                continue;
            }
            chosen.add(operation);
        }
        return chosen;
    }

    private static Map<String, String> options(String[] args) {
        Map<String, String> options = new HashMap<>();
        for (int i = 0; i + 1 < args.length; i += 2) {
            if (!args[i].startsWith("--")) {
                throw new IllegalArgumentException("unexpected argument " + args[i]);
            }
            options.put(args[i].substring(2), args[i + 1]);
        }
        for (String required : List.of("module", "module-copy", "direct", "work", "pin-env", "out")) {
            if (!options.containsKey(required)) {
                throw new IllegalArgumentException("missing --" + required);
            }
        }
        return options;
    }
}
