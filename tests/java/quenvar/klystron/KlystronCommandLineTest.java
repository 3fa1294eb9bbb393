package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotNull;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.IOException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/**
 * The {@code klystron} command's results.json against the Java getters for the same tube: every getter of the class
 * has its place in the file, under the name the file format gives it, with the value the Java class returns.
 */
class KlystronCommandLineTest {

    /** Getters of single disks, rings and steps, and of the field at a position: in the CSV files, not in results.json. */
    private static final Set<String> NOT_IN_RESULTS = Set.of("getSimulatedDiskPosition", "getSimulatedDiskVelocity",
            "getSimulatedExitVelocity", "getVelocityAtMinimumBeta", "getCavityField");

    /**
     * Keys of the command's own settings, for which the Java class has no getter: the near field of the simulation
     * (the Java methods always use the thin one) and the results of --check-resolution.
     */
    private static final Set<String> COMMAND_ONLY = Set.of("nearField", "resolutionCheck");

    /** Getters of positions along the tube, written as profiles at the model's own sample positions. */
    private static final Set<String> PROFILES = Set.of("getAnalyticI1I0", "getSimulatedI1I0", "getSimulatedI1I0Phase",
            "getSimulatedI2I0");

    /** Keys about the run itself rather than the model: whether it ran to its end, and its warnings. */
    private static final Set<String> RUN_KEYS = Set.of("completed", "warnings");

    @TempDir
    Path work;

    private static String dataFile(String name) {
        return Paths.get(System.getProperty("klystron.testdata"), name).toAbsolutePath().toString();
    }

    private static Path command() {
        String path = System.getProperty("klystron.command");
        assumeTrue(path != null && !path.isEmpty(), "the klystron command is not built");
        return Paths.get(path);
    }

    /** Round beam, a field file on the output cavity, an imported beam, a small simulation. */
    private static String roundTube() {
        return "{\"name\": \"command-line comparison\","
                + "\"beam\": {\"voltage\": 110000, \"current\": 90, \"frequency\": 2.856e9, \"inputPower\": 60,"
                + "  \"tubeRadius\": 0.0095, \"beamRadius\": 0.0062},"
                + "\"cavities\": ["
                + " {\"z\": 0.00, \"frequency\": 2.856e9, \"qo\": 2500, \"qe\": 300, \"rq\": 110, \"m\": 0.82,"
                + "  \"gapWidth\": 0.010, \"harmonic\": 1},"
                + " {\"z\": 0.12, \"frequency\": 2.870e9, \"qo\": 2500, \"qe\": 100000, \"rq\": 110, \"m\": 0.82,"
                + "  \"gapWidth\": 0.010, \"harmonic\": 1},"
                + " {\"z\": 0.30, \"frequency\": 5.750e9, \"qo\": 2500, \"qe\": 100000, \"rq\": 60, \"m\": 0.70,"
                + "  \"gapWidth\": 0.008, \"harmonic\": 2},"
                + " {\"z\": 0.48, \"frequency\": 2.856e9, \"qo\": 2500, \"qe\": 25, \"rq\": 100, \"m\": 0.80,"
                + "  \"gapWidth\": 0.012, \"harmonic\": 1, \"fieldFile\": " + quote(dataFile("gap-field-radial.txt"))
                + ", \"fieldRings\": 2}],"
                + "\"simulation\": {\"disks\": 8, \"rings\": 2, \"steps\": 16, \"maxIterations\": 3,"
                + "  \"importBeam\": {\"file\": " + quote(dataFile("prebunched-beam.txt"))
                + ", \"useGivenInjectionPosition\": true, \"injectionPosition\": 0.36}}}";
    }

    private static Klystron roundTubeInJava() {
        Klystron k = new Klystron();
        k.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
        //           rq   m     qe      qo    frequency zCenter gapWidth harmonic
        k.addCavity(110, 0.82, 300, 2500, 2.856e9, 0.00, 0.010, 1);
        k.addCavity(110, 0.82, 100000, 2500, 2.870e9, 0.12, 0.010, 1);
        k.addCavity(60, 0.70, 100000, 2500, 5.750e9, 0.30, 0.008, 2);
        k.addCavity(100, 0.80, 25, 2500, 2.856e9, 0.48, 0.012, 1);
        k.loadCavityField(3, dataFile("gap-field-radial.txt"), 0.0, 2);
        k.calculateAnalytics();
        k.calculateAnalyticI1I0();
        k.importBeam(true, dataFile("prebunched-beam.txt"), true, 0.36);
        k.simulate(8, 2, 16, 3);
        return k;
    }

    /** Sheet beam, no simulation section. */
    private static String sheetTube() {
        return "{\"beam\": {\"voltage\": 75000, \"current\": 30, \"frequency\": 11.424e9, \"inputPower\": 5,"
                + "  \"beamWidth\": 0.020, \"beamHeight\": 0.0016, \"tubeWidth\": 0.024, \"tubeHeight\": 0.0032},"
                + "\"cavities\": ["
                + " {\"z\": 0.000, \"frequency\": 11.424e9, \"qo\": 3000, \"qe\": 400, \"rq\": 60, \"m\": 0.85,"
                + "  \"gapWidth\": 0.0030, \"harmonic\": 1},"
                + " {\"z\": 0.060, \"frequency\": 11.480e9, \"qo\": 3000, \"qe\": 100000, \"rq\": 60, \"m\": 0.85,"
                + "  \"gapWidth\": 0.0030, \"harmonic\": 1},"
                + " {\"z\": 0.120, \"frequency\": 11.424e9, \"qo\": 3000, \"qe\": 60, \"rq\": 50, \"m\": 0.82,"
                + "  \"gapWidth\": 0.0035, \"harmonic\": 1}]}";
    }

    private static Klystron sheetTubeInJava() {
        Klystron k = new Klystron();
        k.setOperatingParameters(75000, 30, 11.424e9, 5, 0.020, 0.0016, 0.024, 0.0032);
        k.addCavity(60, 0.85, 400, 3000, 11.424e9, 0.000, 0.0030, 1);
        k.addCavity(60, 0.85, 100000, 3000, 11.480e9, 0.060, 0.0030, 1);
        k.addCavity(50, 0.82, 60, 3000, 11.424e9, 0.120, 0.0035, 1);
        k.calculateAnalytics();
        k.calculateAnalyticI1I0();
        return k;
    }

    @Test
    void resultsOfASimulatedRunAgreeWithEveryJavaGetter() throws Exception {
        Map<String, Object> results = run(roundTube());
        try (Klystron k = roundTubeInJava()) {
            Set<String> checked = compare(k, results);
            // Run with the near field of the Java methods (the command's default is the finite one).
            assertEquals("thin", results.get("nearField"));
            checked.add("nearField");
            // Nothing else in the file that no getter stands for, but the run's own keys.
            checked.addAll(checkRunKeys(results));
            assertEquals(new TreeSet<>(results.keySet()), checked);
        }
    }

    @Test
    void anAnalyticRunHasNoSimulatedResults() throws Exception {
        Map<String, Object> results = run(sheetTube());
        Map<String, Object> simulated = run(roundTube());
        try (Klystron k = sheetTubeInJava()) {
            for (String key : simulated.keySet()) {
                boolean simulationOnly = key.startsWith("simulated") || COMMAND_ONLY.contains(key) || Set.of("disks",
                        "rings", "steps", "maxIterations", "analyticCircuitEfficiency", "diskReflected",
                        "fieldOverlapping").contains(key);
                assertEquals(!simulationOnly, results.containsKey(key), key);
            }
            Set<String> checked = compareOnly(k, results);
            checked.addAll(checkRunKeys(results));
            assertEquals(new TreeSet<>(results.keySet()), checked);
            assertEquals(Boolean.FALSE, results.get("roundBeam"));
        }
    }

    // ---- comparison -------------------------------------------------------------------

    /** The run's own keys: a completed run, warnings as objects of a key path (or null) and a message. */
    private static Set<String> checkRunKeys(Map<String, Object> results) {
        assertEquals(Boolean.TRUE, results.get("completed"));
        for (Object w : asList("warnings", results.get("warnings"))) {
            assertTrue(w instanceof Map, "a warning is not an object: " + w);
            Map<?, ?> warning = (Map<?, ?>) w;
            assertEquals(Set.of("key", "message"), warning.keySet());
            assertTrue(warning.get("message") instanceof String, "message of " + w);
            assertTrue(warning.get("key") == null || warning.get("key") instanceof String, "key of " + w);
        }
        return RUN_KEYS;
    }

    private static String keyOf(Method m) {
        String name = m.getName().startsWith("is") ? m.getName().substring(2) : m.getName().substring(3);
        return Character.toLowerCase(name.charAt(0)) + name.substring(1);
    }

    private static List<Method> getters() {
        List<Method> getters = new ArrayList<>();
        for (Method m : Klystron.class.getDeclaredMethods()) {
            if (!Modifier.isPublic(m.getModifiers()) || Modifier.isStatic(m.getModifiers())) {
                continue;
            }
            boolean named = m.getName().startsWith("get") || m.getName().startsWith("is");
            Class<?> r = m.getReturnType();
            if (named && (r == double.class || r == int.class || r == boolean.class)) {
                getters.add(m);
            }
        }
        return getters;
    }

    /** Compares every getter; all must be in the file. Returns the keys compared. */
    private static Set<String> compare(Klystron k, Map<String, Object> results) throws Exception {
        Set<String> checked = new TreeSet<>();
        for (Method m : getters()) {
            if (NOT_IN_RESULTS.contains(m.getName())) {
                continue;
            }
            String key = keyOf(m);
            assertTrue(results.containsKey(key), "results.json lacks " + key + " (" + m.getName() + ")");
            compareGetter(k, m, key, results.get(key));
            checked.add(key);
        }
        return checked;
    }

    /** Compares the getters whose key is in the file. Returns the keys compared. */
    private static Set<String> compareOnly(Klystron k, Map<String, Object> results) throws Exception {
        Set<String> checked = new TreeSet<>();
        for (Method m : getters()) {
            String key = keyOf(m);
            if (!NOT_IN_RESULTS.contains(m.getName()) && results.containsKey(key)) {
                compareGetter(k, m, key, results.get(key));
                checked.add(key);
            }
        }
        return checked;
    }

    private static void compareGetter(Klystron k, Method m, String key, Object value) throws Exception {
        Class<?>[] p = m.getParameterTypes();
        int cavities = k.getCavityCount();
        if (p.length == 0) {
            assertSame(key, m.invoke(k), value);
        } else if (p.length == 1 && p[0] == int.class) {
            List<?> list = asList(key, value);
            assertEquals(cavities, list.size(), key);
            for (int i = 0; i < cavities; i++) {
                assertSame(key + "[" + i + "]", m.invoke(k, i), list.get(i));
            }
        } else if (p.length == 2 && p[0] == int.class && p[1] == int.class) {
            List<?> list = asList(key, value);
            assertEquals(cavities, list.size(), key);
            for (int i = 0; i < cavities; i++) {
                List<?> row = asList(key, list.get(i));
                assertEquals(5, row.size(), key);
                for (int h = 0; h < 5; h++) {
                    assertSame(key + "[" + i + "][" + h + "]", m.invoke(k, i, h), row.get(h));
                }
            }
        } else if (p.length == 1 && p[0] == double.class && PROFILES.contains(m.getName())) {
            assertTrue(value instanceof Map, key + " is not a profile");
            Map<?, ?> profile = (Map<?, ?>) value;
            List<?> z = asList(key, profile.get("z"));
            List<?> v = asList(key, profile.get("value"));
            assertEquals(200, z.size(), key);
            assertEquals(200, v.size(), key);
            for (int i = 0; i < 200; i++) {
                double at = (Double) z.get(i);
                double expected = (Double) v.get(i);
                // The getter interpolates; at a sample position it gives the sample up to rounding of the position.
                double actual = (Double) m.invoke(k, at);
                assertEquals(expected, actual, 1e-9 * Math.max(1, Math.abs(expected)), key + " at " + at);
            }
        } else {
            fail(m + " has no place in results.json");
        }
    }

    private static List<?> asList(String key, Object value) {
        assertTrue(value instanceof List, key + " is not an array: " + value);
        return (List<?>) value;
    }

    private static void assertSame(String key, Object java, Object json) {
        if (java instanceof Boolean) {
            assertEquals(java, json, key);
        } else if (java instanceof Integer) {
            assertNotNull(json, key);
            assertEquals(((Integer) java).doubleValue(), (Double) json, 0.0, key);
        } else {
            double x = (Double) java;
            if (json == null) {
                assertFalse(Double.isFinite(x), key + ": null in the file, " + x + " in Java");
            } else {
                assertEquals(x, (Double) json, 0.0, key);  // the file keeps every digit
            }
        }
    }

    // ---- running the command ------------------------------------------------------------

    private Map<String, Object> run(String tube) throws IOException, InterruptedException {
        Path dir = Files.createTempDirectory(work, "run");
        Path file = dir.resolve("tube.json");
        Files.writeString(file, tube);
        Path out = dir.resolve("out");
        Process p = new ProcessBuilder(command().toString(), "run", file.toString(), "-o", out.toString(), "--threads",
                "1", "--near-field", "thin").redirectErrorStream(true).redirectOutput(dir.resolve("log.txt").toFile()).start();
        if (!p.waitFor(300, TimeUnit.SECONDS)) {
            p.destroyForcibly();
            fail("the command did not finish");
        }
        String log = Files.readString(dir.resolve("log.txt"));
        assertEquals(0, p.exitValue(), log);
        Object results = new JsonReader(Files.readString(out.resolve("results.json"), StandardCharsets.UTF_8)).read();
        assertTrue(results instanceof Map, "results.json is not an object");
        @SuppressWarnings("unchecked")
        Map<String, Object> map = (Map<String, Object>) results;
        return map;
    }

    private static String quote(String s) {
        return "\"" + s.replace("\\", "\\\\").replace("\"", "\\\"") + "\"";
    }

    /** Just enough JSON for results.json: objects, arrays, numbers (as Double), strings, booleans, null. */
    private static final class JsonReader {
        private final String text;
        private int at;

        JsonReader(String text) {
            this.text = text;
        }

        Object read() {
            Object v = value();
            space();
            if (at != text.length()) {
                throw error("text after the value");
            }
            return v;
        }

        private Object value() {
            space();
            if (at >= text.length()) {
                throw error("unexpected end");
            }
            char c = text.charAt(at);
            if (c == '{') {
                Map<String, Object> map = new LinkedHashMap<>();
                at++;
                space();
                if (peek('}')) {
                    return map;
                }
                do {
                    space();
                    String key = string();
                    space();
                    expect(':');
                    if (map.put(key, value()) != null) {
                        throw error("key given twice: " + key);
                    }
                    space();
                } while (peek(','));
                expect('}');
                return map;
            }
            if (c == '[') {
                List<Object> list = new ArrayList<>();
                at++;
                space();
                if (peek(']')) {
                    return list;
                }
                do {
                    list.add(value());
                    space();
                } while (peek(','));
                expect(']');
                return list;
            }
            if (c == '"') {
                return string();
            }
            for (String word : new String[] {"true", "false", "null"}) {
                if (text.startsWith(word, at)) {
                    at += word.length();
                    return word.equals("null") ? null : Boolean.valueOf(word);
                }
            }
            int start = at;
            while (at < text.length() && "+-0123456789.eE".indexOf(text.charAt(at)) >= 0) {
                at++;
            }
            if (start == at) {
                throw error("unexpected character");
            }
            return Double.parseDouble(text.substring(start, at));
        }

        private String string() {
            expect('"');
            StringBuilder b = new StringBuilder();
            while (text.charAt(at) != '"') {
                char c = text.charAt(at++);
                if (c == '\\') {
                    char e = text.charAt(at++);
                    switch (e) {
                        case 'n' -> b.append('\n');
                        case 't' -> b.append('\t');
                        case 'u' -> {
                            b.append((char) Integer.parseInt(text.substring(at, at + 4), 16));
                            at += 4;
                        }
                        default -> b.append(e);
                    }
                } else {
                    b.append(c);
                }
            }
            at++;
            return b.toString();
        }

        private void space() {
            while (at < text.length() && Character.isWhitespace(text.charAt(at))) {
                at++;
            }
        }

        private boolean peek(char c) {
            if (at < text.length() && text.charAt(at) == c) {
                at++;
                return true;
            }
            return false;
        }

        private void expect(char c) {
            if (!peek(c)) {
                throw error("expected '" + c + "'");
            }
        }

        private IllegalArgumentException error(String what) {
            return new IllegalArgumentException("results.json at " + at + ": " + what);
        }
    }
}
