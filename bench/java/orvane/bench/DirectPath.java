package orvane.bench;

import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.io.OutputStreamWriter;
import java.io.Writer;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.HexFormat;
import java.util.List;

/** The same PKCS#11 calls made by a C++ program, which answers one request line at a time. */
final class DirectPath implements BenchPath {
    private final Process process;
    private final Writer requests;
    private final BufferedReader answers;

    DirectPath(String program, String module, Inputs inputs, String pin) throws IOException {
        ProcessBuilder builder = new ProcessBuilder(program, "--module", module, "--work", inputs.work.toString());
        builder.environment().put("ORV_BENCH_PIN", pin);
        builder.redirectError(ProcessBuilder.Redirect.INHERIT);
        process = builder.start();
        requests = new OutputStreamWriter(process.getOutputStream(), StandardCharsets.US_ASCII);
        answers = new BufferedReader(new InputStreamReader(process.getInputStream(), StandardCharsets.US_ASCII));
        String ready = answers.readLine();
        if (!"ready".equals(ready)) {
            throw new IOException("direct program did not start: " + ready);
        }
    }

    @Override
    public String name() {
        return "direct";
    }

    @Override
    public boolean supports(Operation operation) {
        return true;
    }

    private String ask(String request) throws IOException {
        requests.write(request + "\n");
        requests.flush();
        String answer = answers.readLine();
        if (answer == null || !answer.startsWith("ok")) {
            throw new IOException("direct program: " + request + ": " + answer);
        }
        return answer.length() > 3 ? answer.substring(3) : "";
    }

    private static String labelOf(Operation operation) {
        return operation.token.label.replace(' ', '_');
    }

    private List<byte[]> decode(String text) {
        List<byte[]> values = new ArrayList<>();
        if (!text.isEmpty()) {
            for (String hex : text.split(",")) {
                values.add(HexFormat.of().parseHex(hex));
            }
        }
        return values;
    }

    @Override
    public List<byte[]> result(Operation operation) throws IOException {
        return decode(ask("result " + labelOf(operation) + " " + operation.code));
    }

    @Override
    public List<byte[]> resultOfBadVerify() throws IOException {
        return decode(ask("result " + Operation.Token.MAIN.label + " verify-bad"));
    }

    @Override
    public Sample run(Operation operation, int batch, long budgetMillis) throws IOException {
        String[] words = ask("run " + labelOf(operation) + " " + operation.code + " " + batch + " " + budgetMillis)
                .split(" ");
        return new Sample(Long.parseLong(words[0]), Long.parseLong(words[1]), Long.parseLong(words[2]));
    }

    /**
     * A thread per token, taking turns at the bridge's lock around each call; adds each thread's last outputs to
     * lastOutputs.
     */
    Sample turns(Operation operation, List<String> labels, int batch, long budgetMillis,
            List<List<byte[]>> lastOutputs) throws IOException {
        String[] words = ask("turns " + String.join(",", labels).replace(' ', '_') + " " + operation.code + " "
                + batch + " " + budgetMillis).split(" ");
        for (int t = 0; t < labels.size(); t++) {
            lastOutputs.add(decode(3 + t < words.length ? words[3 + t] : ""));
        }
        return new Sample(Long.parseLong(words[0]), Long.parseLong(words[1]), Long.parseLong(words[2]));
    }

    @Override
    public void close() throws Exception {
        requests.write("quit\n");
        requests.flush();
        process.waitFor();
    }
}
