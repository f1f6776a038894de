package orvane.jnihost;

import java.io.PrintWriter;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.ByteBuffer;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.HexFormat;
import java.util.LinkedList;
import java.util.List;
import java.util.Map;
import java.util.stream.Collectors;
import java.util.stream.IntStream;

import orvane.clapi.crypto.CapiToken;
import orvane.clapi.crypto.PKCS11Object;
import orvane.clapi.crypto.PKCS11TokenInfo;

/**
 * Runs the native cases in this JVM, through the Java classes that declare
 * the natives, and renders every outcome as the C++ host does.
 */
final class JvmCaseRunner {
    private static final String OUT_PREFIX = "out:";
    private static final String[] PACKAGES = {"orvane.clapi.crypto.", "orvane.common.utils."};

    private final Path material;
    private final String mockPath;
    private final Map<String, byte[]> saved = new HashMap<>();
    private final CapiToken capiToken = new CapiToken();
    private Class<?> mockControl;

    JvmCaseRunner(Path material, String mockPath) {
        this.material = material;
        this.mockPath = mockPath;
    }

    /** Runs every statement; returns the descriptions of those that missed their expectation. */
    List<String> run(CaseFile cases, PrintWriter transcript) {
        List<String> failures = new ArrayList<>();
        for (CaseFile.Statement s : cases.statements()) {
            String actual;
            try {
                actual = execute(s.tokens);
            } catch (Exception e) {
                failures.add("line " + s.line + ": " + e);
                continue;
            }
            transcript.print(s.text);
            if (!actual.isEmpty()) {
                transcript.print(" => " + actual);
            }
            transcript.print("\n");
            if (s.hasExpectation && !CaseFile.matches(s.expected, actual)) {
                failures.add("line " + s.line + ": " + s.text + "\n  expected: " + s.expected + "\n  actual:   " + actual);
            }
        }
        transcript.flush();
        return failures;
    }

    private String execute(List<String> tokens) throws Exception {
        return switch (tokens.get(0)) {
            case "call" -> call(tokens, 1);
            case "repeat" -> repeat(tokens);
            case "mock" -> mock(tokens);
            default -> throw new IllegalArgumentException("statement not for this platform: " + tokens.get(0));
        };
    }

    private String repeat(List<String> tokens) throws Exception {
        if (tokens.size() < 3 || !tokens.get(2).equals("call")) {
            throw new IllegalArgumentException("repeat N call ...");
        }
        int times = Integer.parseInt(tokens.get(1));
        if (times < 2 || times > 10000) {
            throw new IllegalArgumentException("repeat takes 2 to 10000 calls");
        }
        String first = call(tokens, 3);
        for (int i = 1; i < times; ++i) {
            String again = call(tokens, 3);
            if (!again.equals(first)) {
                throw new IllegalStateException("call " + (i + 1) + " gave " + again + " after " + first);
            }
        }
        return first;
    }

    private String call(List<String> tokens, int first) throws Exception {
        Method method = nativeMethod(tokens.get(first));
        Class<?>[] types = method.getParameterTypes();
        int end = tokens.size();
        String saveAs = null;
        if (end >= first + 3 && tokens.get(end - 2).equals("as")) {
            saveAs = tokens.get(end - 1);
            end -= 2;
        }
        if (end - first - 1 != types.length) {
            throw new IllegalArgumentException(tokens.get(first) + " takes " + types.length + " arguments");
        }
        Object[] args = new Object[types.length];
        List<Integer> rendered = new ArrayList<>();
        for (int i = 0; i < types.length; ++i) {
            String token = tokens.get(first + 1 + i);
            if (token.startsWith(OUT_PREFIX)) {
                rendered.add(i);
                token = token.substring(OUT_PREFIX.length());
            }
            args[i] = argument(types[i], token);
        }
        Object receiver = Modifier.isStatic(method.getModifiers()) ? null : capiToken;
        StringBuilder outcome = new StringBuilder();
        try {
            Object result = method.invoke(receiver, args);
            outcome.append(renderResult(method.getReturnType(), result));
            if (saveAs != null) {
                saved.put(saveAs, (byte[]) result);
            }
        } catch (InvocationTargetException e) {
            outcome.append(renderThrowable(e.getCause()));
        }
        for (int i : rendered) {
            outcome.append(" | ").append(render(args[i]));
        }
        return outcome.toString();
    }

    private static Method nativeMethod(String qualified) throws ClassNotFoundException {
        int dot = qualified.indexOf('.');
        String simple = qualified.substring(0, dot);
        String name = qualified.substring(dot + 1);
        for (String pkg : PACKAGES) {
            Class<?> cls;
            try {
                cls = Class.forName(pkg + simple);
            } catch (ClassNotFoundException e) {
                continue;
            }
            for (Method m : cls.getDeclaredMethods()) {
                if (m.getName().equals(name) && Modifier.isNative(m.getModifiers())) {
                    return m;
                }
            }
        }
        throw new ClassNotFoundException("no native " + qualified);
    }

    private Object argument(Class<?> type, String token) throws Exception {
        if (type == int.class) {
            long value = Long.decode(token);
            if (value < Integer.MIN_VALUE || value > 0xFFFFFFFFL) {
                throw new IllegalArgumentException("not an int: " + token);
            }
            return (int) value;
        }
        if (type == boolean.class) {
            if (!token.equals("true") && !token.equals("false")) {
                throw new IllegalArgumentException("not a boolean: " + token);
            }
            return token.equals("true");
        }
        if (token.equals("null")) {
            return null;
        }
        if (type == String.class) {
            return CaseFile.unquote(token);
        }
        if (type == byte[].class) {
            return bytesOf(token);
        }
        if (type == boolean[].class && token.startsWith("booleans:")) {
            return new boolean[Integer.parseInt(token.substring(9))];
        }
        if (type == LinkedList.class && token.equals("list")) {
            return new LinkedList<byte[]>();
        }
        if (type == ByteBuffer.class && token.startsWith("direct:")) {
            return ByteBuffer.allocateDirect(Integer.parseInt(token.substring(7)));
        }
        if (type == ByteBuffer.class && token.startsWith("heap:")) {
            return ByteBuffer.allocate(Integer.parseInt(token.substring(5)));
        }
        throw new IllegalArgumentException("cannot make a " + type.getName() + " of " + token);
    }

    private byte[] bytesOf(String token) throws Exception {
        if (token.startsWith("\"")) {
            String text = CaseFile.unquote(token);
            byte[] bytes = new byte[text.length()];
            for (int i = 0; i < bytes.length; ++i) {
                bytes[i] = (byte) text.charAt(i);
            }
            return bytes;
        }
        if (token.startsWith("hex:")) {
            return HexFormat.of().parseHex(token.substring(4));
        }
        if (token.startsWith("file:")) {
            return Files.readAllBytes(material.resolve(token.substring(5)));
        }
        if (token.startsWith("zero:")) {
            return new byte[Integer.parseInt(token.substring(5))];
        }
        if (token.startsWith("$") && saved.containsKey(token.substring(1))) {
            return saved.get(token.substring(1)).clone();
        }
        throw new IllegalArgumentException("cannot make bytes of " + token);
    }

    private static String renderResult(Class<?> type, Object result) {
        if (type == void.class) {
            return "void";
        }
        return type.isPrimitive() ? type.getName() + " " + result : render(result);
    }

    static String quote(String text) {
        StringBuilder out = new StringBuilder("\"");
        for (char c : text.toCharArray()) {
            switch (c) {
                case '\\' -> out.append("\\\\");
                case '"' -> out.append("\\\"");
                case '\n' -> out.append("\\n");
                case '\t' -> out.append("\\t");
                default -> out.append(c >= 0x20 && c < 0x7F ? String.valueOf(c) : String.format("\\u%04x", (int) c));
            }
        }
        return out.append('"').toString();
    }

    static String render(Object value) {
        if (value == null) {
            return "null";
        }
        if (value instanceof String text) {
            return quote(text);
        }
        if (value instanceof byte[] bytes) {
            return CaseFile.renderBytes(bytes);
        }
        if (value instanceof boolean[] flags) {
            StringBuilder out = new StringBuilder("booleans[");
            for (int i = 0; i < flags.length; ++i) {
                out.append(i > 0 ? "," : "").append(flags[i]);
            }
            return out.append(']').toString();
        }
        if (value instanceof LinkedList<?> list) {
            return CaseFile.renderList(list.stream().map(JvmCaseRunner::render).collect(Collectors.toList()));
        }
        if (value instanceof ByteBuffer buffer) {
            boolean filled = IntStream.range(0, buffer.capacity()).anyMatch(i -> buffer.get(i) != 0);
            return (buffer.isDirect() ? "direct[" : "heap[") + buffer.capacity() + "] " + (filled ? "filled" : "zero");
        }
        if (value instanceof PKCS11TokenInfo info) {
            return "PKCS11TokenInfo(" + render(info.getLabel()) + ", " + render(info.getManufacturerID()) + ", "
                    + render(info.getModel()) + ", " + render(info.getSerialNumber()) + ", " + info.getSessionCount()
                    + ", " + info.hasRNG() + ", " + info.isLoginRequired() + ")";
        }
        if (value instanceof PKCS11Object object) {
            return "PKCS11Object(" + object.getHandle() + ", " + render(object.getId()) + ")";
        }
        if (value instanceof Throwable t) {
            return renderThrowable(t);
        }
        return "object " + value.getClass().getName();
    }

    static String renderThrowable(Throwable t) {
        String message = t.getMessage();
        return "throws " + t.getClass().getName() + " " + (message == null ? "null" : quote(message));
    }

    private Object control(String name, Class<?>[] types, Object... args) throws Exception {
        if (mockControl == null) {
            // The pkcs11test suite's binding of the mock's control functions.
            mockControl = Class.forName("orvane.pkcs11test.MockControl");
            Method open = mockControl.getDeclaredMethod("open", String.class);
            open.setAccessible(true);
            open.invoke(null, mockPath);
        }
        Method m = mockControl.getDeclaredMethod(name, types);
        m.setAccessible(true);
        return m.invoke(null, args);
    }

    private String mock(List<String> tokens) throws Exception {
        String command = tokens.size() > 1 ? tokens.get(1) : "";
        Class<?>[] none = new Class<?>[0];
        switch (command + "/" + tokens.size()) {
            case "reset/2" -> control("reset", none);
            case "clear-faults/2" -> control("clearFaults", none);
            case "fail/5" -> refused(control("fail", new Class<?>[] {String.class, long.class, long.class},
                    tokens.get(2), Long.decode(tokens.get(3)), Long.decode(tokens.get(4))),
                    "the mock knows no " + tokens.get(2));
            case "present/4" -> refused(control("setTokenPresent", new Class<?>[] {long.class, boolean.class},
                    Long.decode(tokens.get(2)), !tokens.get(3).equals("0")), "the mock has no slot " + tokens.get(2));
            case "label/4" -> refused(control("setTokenLabel", new Class<?>[] {long.class, byte[].class},
                    Long.decode(tokens.get(2)), bytesOf(tokens.get(3))),
                    "the mock takes no such label for slot " + tokens.get(2));
            case "event/3" -> control("queueSlotEvent", new Class<?>[] {long.class}, Long.decode(tokens.get(2)));
            case "calls/2" -> {
                String log = (String) control("log", none);
                StringBuilder names = new StringBuilder();
                for (String line : log.split("\n")) {
                    if (!line.isEmpty()) {
                        int blank = line.indexOf(' ');
                        names.append(names.length() == 0 ? "" : ",")
                                .append(blank < 0 ? line : line.substring(0, blank));
                    }
                }
                control("logClear", none);
                return names.length() == 0 ? "none" : names.toString();
            }
            default -> throw new IllegalArgumentException("unknown mock command");
        }
        return "";
    }

    private static void refused(Object rc, String complaint) {
        if ((Integer) rc != 0) {
            throw new IllegalArgumentException(complaint);
        }
    }
}
