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

/** Samples per operation and path, and per-round ratios; printed as a table and written as JSON. */
final class Report {
    private final List<String> pathNames;
    private final Map<Operation, Map<String, List<Double>>> rates = new LinkedHashMap<>();
    private final Map<Operation, Map<String, List<Double>>> ratios = new LinkedHashMap<>();

    Report(List<String> pathNames) {
        this.pathNames = pathNames;
    }

    void addRound(Operation operation, Map<String, Sample> round) {
        Map<String, List<Double>> byPath = rates.computeIfAbsent(operation, o -> new LinkedHashMap<>());
        for (Map.Entry<String, Sample> sample : round.entrySet()) {
            byPath.computeIfAbsent(sample.getKey(), p -> new ArrayList<>()).add(sample.getValue().opsPerSecond());
        }
        Map<String, List<Double>> byRatio = ratios.computeIfAbsent(operation, o -> new LinkedHashMap<>());
        Sample bridge = round.get("bridge");
        for (String other : List.of("direct", "SunPKCS11")) {
            Sample reference = round.get(other);
            if (bridge != null && reference != null && reference.opsPerSecond() > 0) {
                byRatio.computeIfAbsent(other, p -> new ArrayList<>())
                        .add(bridge.opsPerSecond() / reference.opsPerSecond());
            }
        }
    }

    /** Bridge ÷ direct the operation must reach: calls dominated by crossing into Java get less. */
    static double target(Operation operation) {
        return operation == Operation.RANDOM_32 || operation == Operation.DIGEST_1K ? 0.85 : 0.95;
    }

    private Statistics rate(Operation operation, String path) {
        return new Statistics(rates.get(operation).getOrDefault(path, List.of()));
    }

    private Statistics ratio(Operation operation, String path) {
        return new Statistics(ratios.get(operation).getOrDefault(path, List.of()));
    }

    String table() {
        StringBuilder out = new StringBuilder();
        String header = String.format(Locale.ROOT, "%-24s", "operation");
        for (String path : pathNames) {
            header += String.format(Locale.ROOT, " | %-27s", path + " ops/s median [min-max]");
        }
        header += " | bridge÷direct | bridge÷SunPKCS11 | target";
        out.append(header).append('\n').append("-".repeat(header.length())).append('\n');
        for (Operation operation : rates.keySet()) {
            out.append(String.format(Locale.ROOT, "%-24s", operation.title));
            for (String path : pathNames) {
                Statistics s = rate(operation, path);
                out.append(String.format(Locale.ROOT, " | %-27s", Double.isNaN(s.median) ? "-"
                        : figure(s.median) + " [" + figure(s.min) + "-" + figure(s.max) + "]"));
            }
            Statistics direct = ratio(operation, "direct");
            Statistics sun = ratio(operation, "SunPKCS11");
            out.append(String.format(Locale.ROOT, " | %-13s | %-16s | %s", ratioText(direct.median),
                    ratioText(sun.median), String.format(Locale.ROOT, "≥ %.2f %s", target(operation),
                            direct.median >= target(operation) ? "met" : "NOT met")));
            out.append('\n');
        }
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
        for (Operation operation : rates.keySet()) {
            json.append(separator).append("    {\"operation\": \"").append(operation.title).append("\", \"code\": \"")
                    .append(operation.code).append("\", \"opsPerSecond\": {");
            String inner = "";
            for (String path : pathNames) {
                Statistics s = rate(operation, path);
                if (!Double.isNaN(s.median)) {
                    json.append(inner).append('"').append(path).append("\": ").append(stats(s));
                    inner = ", ";
                }
            }
            json.append("}, \"bridgeOverDirect\": ").append(stats(ratio(operation, "direct")));
            json.append(", \"bridgeOverSunPKCS11\": ").append(stats(ratio(operation, "SunPKCS11")));
            json.append(", \"target\": ").append(target(operation)).append('}');
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
