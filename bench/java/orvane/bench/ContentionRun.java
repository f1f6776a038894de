package orvane.bench;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.EnumMap;
import java.util.EnumSet;
import java.util.HashMap;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.concurrent.CountDownLatch;

/**
 * Throughput when threads share a module: each operation by one thread, by 2 and 8 threads on one module, and by 2
 * threads with a module instance each (a byte copy of the library loads as a second instance). Beside them, 2
 * threads of the direct program drive the module alone, taking turns at the bridge's lock: the module's own cost
 * of being called from threads that take turns, the bound for the bridge's 2 threads. The threads call
 * without pause, as a busy pool does. A setting's figure is the operations of all its threads per second of
 * wall-clock time, its ratio the median over slices of that rate over one thread's; the settings take turns in slices, so
 * that a shared machine's drift falls on all of them alike. A digest's three calls share the slot's one session,
 * so each thread digests on a token of its own (orv-bench-d1 and on).
 *
 * <p>Options: --module M --module-copy C --direct PROGRAM --work DIR --pin-env VAR --out FILE.json [--warmup-ms N]
 * [--budget-ms N] [--slices N] [--only code,code]
 */
public final class ContentionRun {
    private static final Operation[] OPERATIONS = {
        Operation.RANDOM_32, Operation.TOKEN_INFO, Operation.DIGEST_1K, Operation.SIGN_SHA256};

    /** How many threads, and whether each has a module instance of its own. */
    enum Setting {
        ONE("1 thread", 1, false),
        SHARED_2("2 threads, one module", 2, false),
        SHARED_8("8 threads, one module", 8, false),
        APART_2("2 threads, two modules", 2, true),
        ALONE_2("2 threads, module alone", 2, false);

        final String title;
        final int threads;
        final boolean apart;

        Setting(String title, int threads, boolean apart) {
            this.title = title;
            this.threads = threads;
            this.apart = apart;
        }
    }

    private final BridgePath[] modules;
    private final int[][] digestSlots;
    private final ResultCheck check;
    private final DirectPath direct;

    private ContentionRun(BridgePath first, BridgePath second, DirectPath direct, Inputs inputs) throws Exception {
        modules = new BridgePath[] {first, second};
        this.direct = direct;
        digestSlots = new int[2][Setting.SHARED_8.threads];
        for (int m = 0; m < 2; m++) {
            for (int t = 0; t < digestSlots[m].length; t++) {
                digestSlots[m][t] = modules[m].openSessionOn("orv-bench-d" + (t + 1));
            }
        }
        check = new ResultCheck(inputs);
    }

    /** The ratio to one thread a setting must reach, or 0 where none is set. */
    static double goal(Operation operation, Setting setting) {
        if (setting == Setting.SHARED_2) {
            switch (operation) {
                case RANDOM_32: return 0.8;
                case TOKEN_INFO: return 0.7;
                case SIGN_SHA256: return 0.95;
                default: return 0;
            }
        }
        return setting == Setting.APART_2 && operation == Operation.RANDOM_32 ? 1.6 : 0;
    }

    public static void main(String[] args) throws Exception {
        Map<String, String> options = new HashMap<>();
        for (int i = 0; i + 1 < args.length; i += 2) {
            options.put(args[i].replaceFirst("^--", ""), args[i + 1]);
        }
        String pin = System.getenv(options.get("pin-env"));
        if (pin == null) {
            throw new IllegalArgumentException("the PIN variable " + options.get("pin-env") + " is not set");
        }
        long warmup = Long.parseLong(options.getOrDefault("warmup-ms", "300"));
        long budget = Long.parseLong(options.getOrDefault("budget-ms", "1000"));
        int slices = Integer.parseInt(options.getOrDefault("slices", "10"));
        String only = options.get("only");
        Inputs inputs = new Inputs(Path.of(options.get("work")));
        EnumSet<Operation.Token> main = EnumSet.of(Operation.Token.MAIN);
        ContentionRun run = new ContentionRun(new BridgePath(options.get("module"), inputs, pin, main),
                new BridgePath(options.get("module-copy"), inputs, pin, main),
                new DirectPath(options.get("direct"), options.get("module"), inputs, pin), inputs);
        Map<Operation, Map<Setting, Figures>> results = new LinkedHashMap<>();
        for (Operation operation : OPERATIONS) {
            if (only == null || List.of(only.split(",")).contains(operation.code)) {
                results.put(operation, run.measure(operation, warmup, budget, slices));
            }
        }
        run.direct.close();
        String table = table(results);
        System.out.print(table);
        writeJson(Path.of(options.get("out")), results, budget, slices);
    }

    /** A setting's operations over all slices, and its ratio to one thread in each slice. */
    static final class Figures {
        Sample total = new Sample(0, 0, 0);
        final List<Double> ratios = new ArrayList<>();

        double opsPerSecond() {
            return total.opsPerSecond();
        }

        double cpus() {
            return total.nanos == 0 ? 0 : (double) total.cpuNanos / total.nanos;
        }

        /** The median of the slices' ratios: a slice's settings ran within a second of each other. */
        double ratio() {
            return new Statistics(ratios).median;
        }
    }

    private Map<Setting, Figures> measure(Operation operation, long warmup, long budget, int slices)
            throws Exception {
        // Batches of about half a millisecond keep clock reads out of the figures.
        double rate = run(operation, Setting.ONE, 1, warmup).opsPerSecond();
        int batch = (int) Math.max(1, Math.min(100_000, rate / 2000));
        Map<Setting, Figures> figures = new EnumMap<>(Setting.class);
        Setting[] settings = Setting.values();
        for (Setting setting : settings) {
            figures.put(setting, new Figures());
        }
        for (int slice = 0; slice < slices; slice++) {
            Map<Setting, Sample> samples = new EnumMap<>(Setting.class);
            Sample aloneOne = null;
            for (int i = 0; i < settings.length; i++) {
                Setting setting = settings[(i + slice) % settings.length];
                if (setting == Setting.ALONE_2) {
                    aloneOne = runAlone(operation, 1, batch, budget / slices);
                    samples.put(setting, runAlone(operation, 2, batch, budget / slices));
                } else {
                    samples.put(setting, run(operation, setting, batch, budget / slices));
                }
            }
            for (Setting setting : settings) {
                Figures f = figures.get(setting);
                f.total = f.total.plus(samples.get(setting));
                Sample one = setting == Setting.ALONE_2 ? aloneOne : samples.get(Setting.ONE);
                f.ratios.add(samples.get(setting).opsPerSecond() / one.opsPerSecond());
            }
        }
        return figures;
    }

    /** The setting's threads, started together, each calling until the budget is spent; checks their outputs. */
    private Sample run(Operation operation, Setting setting, int batch, long budgetMillis) throws Exception {
        CountDownLatch go = new CountDownLatch(1);
        long[] counts = new long[setting.threads];
        long[] ends = new long[setting.threads];
        long[] cpu = new long[setting.threads];
        Object[] outputs = new Object[setting.threads];
        Exception[] failures = new Exception[setting.threads];
        long[] start = new long[1];
        List<Thread> threads = new ArrayList<>();
        for (int t = 0; t < setting.threads; t++) {
            final int index = t;
            final int m = setting.apart ? t % 2 : 0;
            final BridgePath module = modules[m];
            final int slot = operation == Operation.DIGEST_1K ? digestSlots[m][t]
                    : module.slotIndex(Operation.Token.MAIN);
            Thread thread = new Thread(() -> {
                try {
                    go.await();
                    long cpuStart = CpuClock.threadNanos();
                    long deadline = start[0] + budgetMillis * 1_000_000L;
                    long count = 0;
                    Object output = null;
                    do {
                        for (int i = 0; i < batch; i++) {
                            output = module.perform(operation, slot);
                        }
                        count += batch;
                    } while (System.nanoTime() < deadline);
                    ends[index] = System.nanoTime();
                    cpu[index] = CpuClock.threadNanos() - cpuStart;
                    counts[index] = count;
                    outputs[index] = output;
                } catch (Exception e) {
                    failures[index] = e;
                }
            });
            thread.start();
            threads.add(thread);
        }
        start[0] = System.nanoTime();
        go.countDown();
        long end = start[0];
        long count = 0;
        long cpuNanos = 0;
        for (int t = 0; t < setting.threads; t++) {
            threads.get(t).join();
            if (failures[t] != null) {
                throw new IllegalStateException(setting.title + ", thread " + t + ": " + failures[t], failures[t]);
            }
            check.checkOutput(setting.title + ", thread " + t + ", " + operation.title + ": ", operation,
                    BridgePath.output(outputs[t]));
            end = Math.max(end, ends[t]);
            count += counts[t];
            cpuNanos += cpu[t];
        }
        return new Sample(count, end - start[0], cpuNanos);
    }

    /** The direct program's threads on the module alone; checks their last outputs. */
    private Sample runAlone(Operation operation, int threads, int batch, long budgetMillis) throws Exception {
        List<String> labels = new ArrayList<>();
        for (int t = 0; t < threads; t++) {
            labels.add(operation == Operation.DIGEST_1K ? "orv-bench-d" + (t + 1) : operation.token.label);
        }
        List<List<byte[]>> outputs = new ArrayList<>();
        Sample sample = direct.turns(operation, labels, batch, budgetMillis, outputs);
        for (int t = 0; t < threads; t++) {
            check.checkOutput("module alone, thread " + t + ", " + operation.title + ": ", operation, outputs.get(t));
        }
        return sample;
    }

    private static String table(Map<Operation, Map<Setting, Figures>> results) {
        StringBuilder out = new StringBuilder(String.format(Locale.ROOT, "%-20s", "operation"));
        for (Setting setting : Setting.values()) {
            out.append(String.format(Locale.ROOT, " | %-24s", setting.title));
        }
        out.append(" | goal\n").append("-".repeat(out.length() + 30)).append('\n');
        for (Map.Entry<Operation, Map<Setting, Figures>> row : results.entrySet()) {
            out.append(String.format(Locale.ROOT, "%-20s", row.getKey().title));
            String goals = "";
            for (Setting setting : Setting.values()) {
                Figures f = row.getValue().get(setting);
                out.append(String.format(Locale.ROOT, " | %-24s", figure(f.opsPerSecond()) + " "
                        + String.format(Locale.ROOT, "%.2f× %.1f CPU", f.ratio(), f.cpus())));
                double goal = goal(row.getKey(), setting);
                if (goal > 0) {
                    goals += String.format(Locale.ROOT, "%s%s ≥ %.2f %s", goals.isEmpty() ? "" : "; ",
                            setting.title, goal, f.ratio() >= goal ? "met" : "NOT met");
                }
            }
            out.append(" | ").append(goals.isEmpty() ? "-" : goals).append('\n');
        }
        out.append("Operations per second of wall-clock time, all threads together; ×: against one thread, the"
                + " median over the slices; CPU: how many CPUs the threads kept busy, on average. Module alone: the"
                + " same calls from a C++ program, against its own one thread.\n");
        return out.toString();
    }

    private static String ratio(double value) {
        return String.format(Locale.ROOT, "%.2f×", value);
    }

    private static String figure(double value) {
        return value >= 100_000 ? String.format(Locale.ROOT, "%.1fk/s", value / 1000)
                : String.format(Locale.ROOT, "%.0f/s", value);
    }

    private static void writeJson(Path file, Map<Operation, Map<Setting, Figures>> results, long budget, int slices)
            throws java.io.IOException {
        StringBuilder json = new StringBuilder(String.format(Locale.ROOT,
                "{\n  \"settings\": {\"budgetMillis\": %d, \"slices\": %d, \"measure\": \"operations per second of"
                        + " wall-clock time, all threads together\"},\n  \"operations\": [",
                budget, slices));
        String separator = "\n";
        for (Map.Entry<Operation, Map<Setting, Figures>> row : results.entrySet()) {
            json.append(separator).append("    {\"operation\": \"").append(row.getKey().title)
                    .append("\", \"code\": \"").append(row.getKey().code).append("\", \"settings\": [");
            String inner = "";
            for (Setting setting : Setting.values()) {
                Figures f = row.getValue().get(setting);
                json.append(inner).append(String.format(Locale.ROOT,
                        "\n      {\"setting\": \"%s\", \"opsPerSecond\": %.1f, \"ratio\": %.4f, \"cpus\": %.3f,"
                                + " \"goal\": %s}",
                        setting.title, f.opsPerSecond(), f.ratio(), f.cpus(), goal(row.getKey(), setting) > 0
                                ? String.format(Locale.ROOT, "%.2f", goal(row.getKey(), setting)) : "null"));
                inner = ",";
            }
            json.append("]}");
            separator = ",\n";
        }
        json.append("\n  ]\n}\n");
        Files.writeString(file, json, StandardCharsets.UTF_8);
    }
}
