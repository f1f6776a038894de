package orvane.bench;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;
import java.util.function.ToDoubleFunction;

/**
 * The samples of every round per operation and path; printed as a table and written as JSON. Rates and ratios
 * are given by the calling thread's CPU time (the table's figures, steady on a shared machine) and by wall-clock
 * time. A ratio is taken within a round, then the median over the rounds.
 */
final class Report {
    private static final ToDoubleFunction<Sample> CPU = Sample::opsPerCpuSecond;
    private static final ToDoubleFunction<Sample> WALL = Sample::opsPerSecond;

    private final List<String> pathNames;
    private final Map<Operation, List<Map<String, Sample>>> rounds = new LinkedHashMap<>();

    Report(List<String> pathNames) {
        this.pathNames = pathNames;
    }

    void addRound(Operation operation, Map<String, Sample> round) {
        rounds.computeIfAbsent(operation, o -> new ArrayList<>()).add(round);
    }

    /** Bridge ÷ direct the operation must reach: calls dominated by crossing into Java get less. */
    static double target(Operation operation) {
        return operation == Operation.RANDOM_32 || operation == Operation.DIGEST_1K ? 0.85 : 0.95;
    }

    private Statistics rate(Operation operation, String path, ToDoubleFunction<Sample> measure) {
        List<Double> values = new ArrayList<>();
        for (Map<String, Sample> round : rounds.get(operation)) {
            Sample sample = round.get(path);
            if (sample != null) {
                values.add(measure.applyAsDouble(sample));
            }
        }
        return new Statistics(values);
    }

    private Statistics ratio(Operation operation, String reference, ToDoubleFunction<Sample> measure) {
        return ratio(operation, "bridge", reference, measure);
    }

    private Statistics ratio(Operation operation, String path, String reference, ToDoubleFunction<Sample> measure) {
        List<Double> values = new ArrayList<>();
        for (Map<String, Sample> round : rounds.get(operation)) {
            Sample sample = round.get(path);
            Sample other = round.get(reference);
            if (sample != null && other != null && measure.applyAsDouble(other) > 0) {
                values.add(measure.applyAsDouble(sample) / measure.applyAsDouble(other));
            }
        }
        return new Statistics(values);
    }

    String table() {
        StringBuilder out = new StringBuilder();
        String header = String.format(Locale.ROOT, "%-24s", "operation");
        for (String path : pathNames) {
            header += String.format(Locale.ROOT, " | %-26s", path + " median [min-max]");
        }
        header += " | bridge÷direct | (wall) | bridge÷SunPKCS11 | target         | provider÷bridge";
        out.append(header).append('\n').append("-".repeat(header.length())).append('\n');
        for (Operation operation : rounds.keySet()) {
            out.append(String.format(Locale.ROOT, "%-24s", operation.title));
            for (String path : pathNames) {
                Statistics s = rate(operation, path, CPU);
                out.append(String.format(Locale.ROOT, " | %-26s", Double.isNaN(s.median) ? "-"
                        : figure(s.median) + " [" + figure(s.min) + "-" + figure(s.max) + "]"));
            }
            double direct = ratio(operation, "direct", CPU).median;
            out.append(String.format(Locale.ROOT, " | %-13s | %-6s | %-16s | ≥ %.2f %-7s | %s", ratioText(direct),
                    ratioText(ratio(operation, "direct", WALL).median),
                    ratioText(ratio(operation, "SunPKCS11", CPU).median), target(operation),
                    direct >= target(operation) ? "met" : "NOT met",
                    ratioText(ratio(operation, "provider", "bridge", CPU).median)));
            out.append('\n');
        }
        out.append("Operations per second of the calling thread's CPU time; (wall): the same ratio by wall-clock time;\n"
                + "provider: Signature through the JCA provider, on the bridge's own module and token.\n");
        return out.toString();
    }

    private static String ratioText(double ratio) {
        return Double.isNaN(ratio) ? "-" : String.format(Locale.ROOT, "%.2f", ratio);
    }

    private static String figure(double value) {
        if (value >= 100_000) {
            return String.format(Locale.ROOT, "%.1fk", value / 1000);
        }
        return String.format(Locale.ROOT, value >= 100 ? "%.0f" : "%.2f", value);
    }

    void writeJson(Path file, Map<String, Object> settings) throws IOException {
        StringBuilder json = new StringBuilder("{\n  \"settings\": {");
        String separator = "";
        for (Map.Entry<String, Object> setting : settings.entrySet()) {
            json.append(separator).append('"').append(setting.getKey()).append("\": ");
            json.append(setting.getValue() instanceof Number ? setting.getValue().toString()
                    : '"' + setting.getValue().toString() + '"');
            separator = ", ";
        }
        json.append("},\n  \"operations\": [");
        separator = "\n";
        for (Operation operation : rounds.keySet()) {
            json.append(separator).append("    {\"operation\": \"").append(operation.title).append("\", \"code\": \"")
                    .append(operation.code).append("\", \"target\": ").append(target(operation));
            for (Map.Entry<String, ToDoubleFunction<Sample>> measure : Map.of("Cpu", CPU, "Wall", WALL).entrySet()) {
                json.append(",\n      \"opsPerSecond").append(measure.getKey()).append("\": {");
                String inner = "";
                for (String path : pathNames) {
                    Statistics s = rate(operation, path, measure.getValue());
                    if (!Double.isNaN(s.median)) {
                        json.append(inner).append('"').append(path).append("\": ").append(stats(s));
                        inner = ", ";
                    }
                }
                json.append("},\n      \"bridgeOverDirect").append(measure.getKey()).append("\": ")
                        .append(stats(ratio(operation, "direct", measure.getValue())));
                json.append(", \"bridgeOverSunPKCS11").append(measure.getKey()).append("\": ")
                        .append(stats(ratio(operation, "SunPKCS11", measure.getValue())));
                json.append(", \"providerOverBridge").append(measure.getKey()).append("\": ")
                        .append(stats(ratio(operation, "provider", "bridge", measure.getValue())));
            }
            json.append('}');
            separator = ",\n";
        }
        json.append("\n  ]\n}\n");
        Files.writeString(file, json, StandardCharsets.UTF_8);
    }

    private static String stats(Statistics s) {
        if (Double.isNaN(s.median)) {
            return "null";
        }
        return String.format(Locale.ROOT, "{\"min\": %.4f, \"median\": %.4f, \"max\": %.4f}", s.min, s.median, s.max);
    }
}
