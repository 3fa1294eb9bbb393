package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertSame;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import java.io.IOException;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeAll;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;
import org.junit.jupiter.api.io.TempDir;

/**
 * What a person typing into a GUI can throw at the library: every native method with out-of-range indices, values
 * that are not finite, counts that are zero, negative or enormous, and files that are missing, empty, binary,
 * truncated or replaced between two rebuilds. Each call gives its documented exception or the value the model
 * computes, and the JVM stays usable: after every test a fresh object gives the reference results bit for bit.
 */
@Timeout(value = 120, unit = TimeUnit.SECONDS)
class KlystronHostileInputTest {

    private static final Path DATA = Paths.get(System.getProperty("klystron.testdata"));
    private static final String FIELD = DATA.resolve("gap-field-mm.txt").toString();
    private static final String BEAM = DATA.resolve("prebunched-beam.txt").toString();

    /** What each parameter of a native method means, and so what is hostile for it. */
    enum Role {
        CAVITY, // index into the cavity list, 0 to getCavityCount() - 1
        BUILT, // index into the cavity objects of the last rebuild
        TABLE, // index into a result table, 0 to 19
        HARMONIC, // harmonic of an induced current, 0 to 4
        DISK, RING, STEP, // indices into the trajectories of the last simulation
        IGNORED_INT, // carries no meaning
        HARMONIC_NUMBER, // harmonic a cavity works at, stored as given
        FIELD_RINGS, // checked by the next rebuild
        DISKS, RINGS, STEPS, ITERATIONS, // counts of a simulation
        VALUE, // a stored double
        IGNORED_DOUBLE, // carries no meaning
        Z, // a position along the tube to look something up at
        FLAG, FIELD_FILE, BEAM_FILE
    }

    /** A native method, told apart by name and parameter count, and the role of each of its parameters. */
    record Signature(String name, String readBack, Role... roles) {
        String key() {
            return name + "/" + roles.length;
        }
    }

    private static final Role[] NONE = {};

    /** Every native method of the class; a method missing here fails {@link #everyNativeMethodIsClassified}. */
    static final List<Signature> SIGNATURES = new ArrayList<>();

    static {
        sig("newKlystron", null);
        sig("deleteKlystron", null);
        Role v = Role.VALUE;
        sig("setOperatingParameters", null, v, v, v, v, v, v);
        sig("setOperatingParameters", null, v, v, v, v, v, v, v, v);
        String[][] setters = {{"setBeamVoltage", "getBeamVoltage"}, {"setBeamCurrent", "getBeamCurrent"},
            {"setFrequency", "getOperatingFrequency"}, {"setInputPower", "getInputPower"},
            {"setTubeRadius", "getTubeRadius"}, {"setBeamRadius", "getBeamRadius"},
            {"setTubeWidth", "getTubeWidth"}, {"setBeamWidth", "getBeamWidth"},
            {"setTubeHeight", "getTubeHeight"}, {"setBeamHeight", "getBeamHeight"}};
        for (String[] s : setters) {
            sig(s[0], s[1], v);
            sig(s[1], null);
        }
        sig("setRoundBeam", "isRoundBeam", Role.FLAG);
        sig("isRoundBeam", null);
        sig("addCavity", null, v, v, v, v, v, v, v, Role.HARMONIC_NUMBER);
        sig("deleteLastCavity", null);
        sig("deleteAllCavities", null);
        sig("loadCavityField", null, Role.CAVITY, Role.FIELD_FILE, Role.IGNORED_DOUBLE, Role.FIELD_RINGS);
        sig("getCavityCount", null);
        String[][] cavitySetters = {{"setCavityZCenter", "getZ"}, {"setCavityFrequency", "getFrequency"},
            {"setCavityM", "getM"}, {"setCavityGapWidth", "getGapWidth"}, {"setCavityRQ", "getRQ"},
            {"setCavityQe", "getQe"}, {"setCavityQo", "getQo"}};
        for (String[] s : cavitySetters) {
            sig(s[0], s[1], Role.CAVITY, v);
            sig(s[1], null, Role.CAVITY);
        }
        sig("setCavityHarmonic", "getHarmonic", Role.CAVITY, Role.HARMONIC_NUMBER);
        sig("getHarmonic", null, Role.CAVITY);

        sig("calculateAnalytics", null);
        sig("calculateAnalyticI1I0", null);
        sig("initializeInternalData", null);
        for (String g : new String[] {"getAnalyticGain", "getAnalyticOutputPower", "getAnalyticMultipleOutputPower",
            "getAnalyticMultipleOutputGain", "getAnalyticMultipleOutputCircuitEfficiency",
            "getAnalyticMultipleOutputElectronicEfficiency", "getAnalyticMultipleOutputTotalEfficiency",
            "getAnalyticBeamVelocity", "getAnalyticDepressedBeamVoltage", "getAnalyticPlasmaWavelength",
            "getAnalyticReducedPlasmaWavelength", "getAnalyticGammaA", "getAnalyticGammaB", "getAnalyticSigma",
            "getAnalyticRFWavelength", "getAnalyticBetaE", "getAnalyticGamma"}) {
            sig(g, null);
        }
        sig("getAnalyticCavityVoltage", null, Role.TABLE);
        sig("getAnalyticCavityVoltagePhase", null, Role.TABLE);
        sig("getAnalyticI1I0", null, Role.Z);
        for (String g : new String[] {"getAnalyticGapImpedance", "getAnalyticQb", "getAnalyticBb", "getAnalyticGb",
            "getCavityFieldZMin", "getCavityFieldZMax", "getCavityFieldWidth"}) {
            sig(g, null, Role.BUILT);
        }
        sig("getCavityField", null, Role.BUILT, Role.Z);

        sig("importBeam", null, Role.FLAG, Role.BEAM_FILE, Role.FLAG, Role.VALUE);
        sig("simulate", null, Role.DISKS, Role.RINGS, Role.STEPS, Role.ITERATIONS);
        for (String g : new String[] {"getDisks", "getRings", "getSteps", "getMaxIterations",
            "getSimulatedIterations", "getSimulatedMaxTimeStep", "getSimulatedGain", "getSimulatedOutputPower",
            "getSimulatedElectronicEfficiency", "getSimulatedKineticEfficiency", "getSimulatedTotalEfficiency",
            "getAnalyticCircuitEfficiency", "getSimulatedMultipleOutputPower", "getSimulatedMultipleOutputGain",
            "getSimulatedMultipleOutputCircuitEfficiency", "getSimulatedMultipleOutputElectronicEfficiency",
            "getSimulatedMultipleOutputTotalEfficiency", "getSimulatedGb1", "getSimulatedBb1",
            "getSimulatedMaxI1I0", "getSimulatedMaxI1I0ZLocation", "getSimulatedMinVOverC",
            "getSimulatedMinVOverCLocation", "isDiskReflected", "isFieldOverlapping", "getSpeedOfLight"}) {
            sig(g, null);
        }
        sig("getSimulatedCavityVoltage", null, Role.TABLE);
        sig("getSimulatedCavityVoltagePhase", null, Role.TABLE);
        sig("getSimulatedCavityCurrentMagnitude", null, Role.TABLE, Role.HARMONIC);
        sig("getSimulatedCavityCurrentPhase", null, Role.TABLE, Role.HARMONIC);
        sig("getSimulatedI1I0", null, Role.Z);
        sig("getSimulatedI1I0Phase", null, Role.Z);
        sig("getSimulatedI2I0", null, Role.Z);
        sig("getSimulatedDiskPosition", null, Role.DISK, Role.RING, Role.STEP);
        sig("getSimulatedDiskVelocity", null, Role.DISK, Role.RING, Role.STEP);
        sig("getSimulatedExitVelocity", null, Role.IGNORED_INT, Role.DISK, Role.RING);
        sig("getVelocityAtMinimumBeta", null, Role.DISK, Role.RING);
    }

    private static void sig(String name, String readBack, Role... roles) {
        SIGNATURES.add(new Signature(name, readBack, roles == null ? NONE : roles));
    }

    private static final int[] BAD_INTS = {Integer.MIN_VALUE, -1, Integer.MAX_VALUE};
    private static final double[] BAD_DOUBLES = {Double.NaN, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY,
        -0.0, Double.MAX_VALUE, -Double.MAX_VALUE, Double.MIN_VALUE};

    private static double[] reference;

    @TempDir
    Path dir;

    @BeforeAll
    static void computeReference() {
        reference = referenceRun();
    }

    /** After every test, whatever it threw at the library, a fresh object still computes the same bits. */
    @AfterEach
    void freshObjectStillGivesTheReferenceResults() {
        assertArrayEquals(reference, referenceRun());
    }

    static double[] referenceRun() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            k.calculateAnalytics();
            k.calculateAnalyticI1I0();
            k.simulate(8, 1, 16, 3);
            return new double[] {k.getAnalyticGain(), k.getAnalyticCavityVoltage(3), k.getAnalyticI1I0(0.3),
                k.getSimulatedGain(), k.getSimulatedCavityVoltage(3), k.getSimulatedDiskPosition(7, 0, 20),
                k.getSimulatedI1I0(0.4)};
        }
    }

    /** A four-cavity tube with analytic and simulated results, so that every index has something to point at. */
    static Klystron tubeWithResults() {
        Klystron k = KlystronAnalyticTest.fourCavityTube();
        k.calculateAnalytics();
        k.calculateAnalyticI1I0();
        k.simulate(8, 2, 16, 3);
        return k;
    }

    /** The stored parameters and the results of the last runs, to show that a refused call changed nothing. */
    static List<Object> fingerprint(Klystron k) {
        List<Object> f = new ArrayList<>(List.of(k.getBeamVoltage(), k.getBeamCurrent(), k.getOperatingFrequency(),
                k.getInputPower(), k.getTubeRadius(), k.getBeamRadius(), k.isRoundBeam(), k.getCavityCount(),
                k.getAnalyticGain(), k.getAnalyticI1I0(0.3), k.getAnalyticBeamVelocity(), k.getDisks(),
                k.getRings(), k.getSimulatedGain(), k.getSimulatedI1I0(0.4)));
        for (int i = 0; i < k.getCavityCount(); i++) {
            f.addAll(List.of(k.getZ(i), k.getFrequency(i), k.getM(i), k.getGapWidth(i), k.getRQ(i), k.getQe(i),
                    k.getQo(i), k.getHarmonic(i), k.getAnalyticQb(i), k.getCavityFieldZMin(i),
                    k.getAnalyticCavityVoltage(i), k.getSimulatedCavityVoltage(i)));
        }
        if (k.getDisks() > 0) {
            f.add(k.getSimulatedDiskPosition(k.getDisks() - 1, k.getRings() - 1, k.getSimulatedMaxTimeStep() - 1));
        }
        return f;
    }

    static Method method(Signature s) {
        for (Method m : Klystron.class.getDeclaredMethods()) {
            if (m.getName().equals(s.name()) && m.getParameterCount() == s.roles().length) {
                return m;
            }
        }
        throw new AssertionError("no native method " + s.key());
    }

    static Signature signature(String name) {
        return SIGNATURES.stream().filter(s -> s.name().equals(name)).findFirst().orElseThrow();
    }

    /** Arguments of a real tube for the methods that take several values at once. */
    private static final Map<String, Object[]> REALISTIC = Map.of(
            "setOperatingParameters/6", new Object[] {110000.0, 90.0, 2.856e9, 60.0, 0.0095, 0.0062},
            "setOperatingParameters/8", new Object[] {75000.0, 30.0, 11.424e9, 5.0, 0.020, 0.0016, 0.024, 0.0032},
            "addCavity/8", new Object[] {100.0, 0.8, 25.0, 2500.0, 2.856e9, 0.6, 0.012, 1},
            "importBeam/4", new Object[] {true, BEAM, true, 0.0});

    /** Arguments every role accepts on {@link #tubeWithResults()}. */
    static Object[] validArguments(Signature s) {
        if (REALISTIC.containsKey(s.key())) {
            return REALISTIC.get(s.key()).clone();
        }
        Object[] args = new Object[s.roles().length];
        for (int i = 0; i < args.length; i++) {
            args[i] = switch (s.roles()[i]) {
                case CAVITY, BUILT, TABLE, DISK, RING, STEP, IGNORED_INT -> 0;
                case HARMONIC, HARMONIC_NUMBER, FIELD_RINGS, RINGS -> 1;
                case DISKS -> 8;
                case STEPS -> 16;
                case ITERATIONS -> 3;
                case VALUE -> 1.0;
                case IGNORED_DOUBLE -> 0.0;
                case Z -> 0.2;
                case FLAG -> false;
                case FIELD_FILE -> FIELD;
                case BEAM_FILE -> BEAM;
            };
        }
        return args;
    }

    /** Calls the method and returns its result, or the exception it threw. */
    static Object invoke(Klystron k, Signature s, Object[] args) {
        try {
            return method(s).invoke(k, args);
        } catch (InvocationTargetException e) {
            return e.getCause();
        } catch (IllegalAccessException e) {
            throw new AssertionError(e);
        }
    }

    static String describe(Signature s, Object[] args) {
        return s.name() + Arrays.deepToString(args);
    }

    // ---- Coverage -------------------------------------------------------------------------------------

    @Test
    void everyNativeMethodIsClassified() {
        Set<String> declared = new TreeSet<>();
        for (Method m : KlystronLifecycleTest.nativeMethods()) {
            declared.add(m.getName() + "/" + m.getParameterCount());
        }
        Set<String> classified = new TreeSet<>();
        for (Signature s : SIGNATURES) {
            assertTrue(classified.add(s.key()), "classified twice: " + s.key());
            Method m = method(s);
            for (int i = 0; i < s.roles().length; i++) {
                Class<?> expected = switch (s.roles()[i]) {
                    case VALUE, IGNORED_DOUBLE, Z -> double.class;
                    case FLAG -> boolean.class;
                    case FIELD_FILE, BEAM_FILE -> String.class;
                    default -> int.class;
                };
                assertSame(expected, m.getParameterTypes()[i], s.key() + " parameter " + i);
            }
        }
        assertEquals(declared, classified);
        assertEquals(117, declared.size());
    }

    // ---- Indices --------------------------------------------------------------------------------------

    /** The first index outside the range of the role, on {@link #tubeWithResults()}. */
    static int bound(Klystron k, Role role) {
        return switch (role) {
            case CAVITY, BUILT -> k.getCavityCount();
            case TABLE -> 20;
            case HARMONIC -> 5;
            case DISK -> k.getDisks();
            case RING -> k.getRings();
            case STEP -> k.getSimulatedMaxTimeStep();
            default -> throw new AssertionError(role + " is no index");
        };
    }

    @Test
    void everyIndexOutsideItsRangeThrowsIndexOutOfBoundsAndChangesNothing() {
        Set<Role> indices = Set.of(Role.CAVITY, Role.BUILT, Role.TABLE, Role.HARMONIC, Role.DISK, Role.RING,
                Role.STEP);
        int checked = 0;
        try (Klystron k = tubeWithResults()) {
            List<Object> before = fingerprint(k);
            for (Signature s : SIGNATURES) {
                for (int p = 0; p < s.roles().length; p++) {
                    if (!indices.contains(s.roles()[p])) {
                        continue;
                    }
                    int limit = bound(k, s.roles()[p]);
                    for (int bad : new int[] {Integer.MIN_VALUE, -1, limit, limit + 1, Integer.MAX_VALUE}) {
                        Object[] args = validArguments(s);
                        args[p] = bad;
                        Object result = invoke(k, s, args);
                        if (!(result instanceof IndexOutOfBoundsException e)) {
                            fail(describe(s, args) + " gave " + result);
                            return;
                        }
                        assertTrue(e.getMessage().contains(Integer.toString(bad)),
                                describe(s, args) + ": " + e.getMessage());
                        checked++;
                    }
                }
            }
            assertEquals(before, fingerprint(k));
        }
        assertTrue(checked > 200, checked + " cases");
    }

    @Test
    void ignoredArgumentsTakeAnyValue() {
        try (Klystron k = tubeWithResults()) {
            double exit = k.getSimulatedExitVelocity(0, 3, 1);
            for (int bad : BAD_INTS) {
                assertEquals(exit, k.getSimulatedExitVelocity(bad, 3, 1));
            }
            for (double bad : BAD_DOUBLES) {
                k.loadCavityField(2, FIELD, bad, 4);
            }
            k.initializeInternalData();
            assertTrue(k.getCavityFieldWidth(2) > 0);
        }
    }

    @Test
    void callsBeforeAnyRunGiveZerosOrIllegalState() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            assertEquals(0.0, k.getAnalyticGain());
            assertEquals(0.0, k.getAnalyticI1I0(0.2));
            assertEquals(0.0, k.getAnalyticCavityVoltage(19));
            assertEquals(0.0, k.getAnalyticBeamVelocity());
            assertEquals(0.0, k.getSimulatedGain());
            assertEquals(0.0, k.getSimulatedI1I0(0.2));
            assertEquals(0, k.getSimulatedMaxTimeStep());
            IllegalStateException sweep = assertThrows(IllegalStateException.class, k::calculateAnalyticI1I0);
            assertTrue(sweep.getMessage().contains("calculateAnalytics"), sweep.getMessage());
            for (Signature s : SIGNATURES) {
                List<Role> roles = List.of(s.roles());
                if (roles.contains(Role.DISK)) {
                    assertTrue(invoke(k, s, validArguments(s)) instanceof IllegalStateException, s.key());
                } else if (roles.contains(Role.BUILT)) {
                    // No rebuild yet: there are no cavity objects to read.
                    Object r = invoke(k, s, validArguments(s));
                    assertTrue(r instanceof IndexOutOfBoundsException, s.key() + " gave " + r);
                }
            }
        }
    }

    @Test
    void resultsOfAnEmptiedTubeAreRefusedOrKept() {
        try (Klystron k = tubeWithResults()) {
            double gain = k.getAnalyticGain();
            double simulated = k.getSimulatedGain();
            k.deleteAllCavities();
            assertThrows(IllegalStateException.class, k::calculateAnalyticI1I0);
            assertThrows(IndexOutOfBoundsException.class, () -> k.getAnalyticQb(0));
            assertThrows(IllegalArgumentException.class, k::calculateAnalytics);
            assertThrows(IllegalArgumentException.class, () -> k.simulate(8, 1, 16, 3));
            assertEquals(gain, k.getAnalyticGain());
            assertEquals(simulated, k.getSimulatedGain());
            k.deleteLastCavity(); // nothing to delete
            assertEquals(0, k.getCavityCount());
        }
    }

    @Test
    void closedObjectsRefuseEvenHostileArgumentsWithIllegalState() {
        Klystron k = tubeWithResults();
        k.close();
        for (Signature s : SIGNATURES) {
            if (s.name().equals("newKlystron") || s.name().equals("deleteKlystron")) {
                continue;
            }
            Object[] args = validArguments(s);
            for (int p = 0; p < args.length; p++) {
                if (args[p] instanceof Integer) {
                    args[p] = Integer.MIN_VALUE;
                } else if (args[p] instanceof Double) {
                    args[p] = Double.NaN;
                } else if (args[p] instanceof String) {
                    args[p] = null;
                }
            }
            Object result = invoke(k, s, args);
            assertTrue(result instanceof IllegalStateException, describe(s, args) + " gave " + result);
        }
        k.deleteKlystron();
        k.close();
    }

    // ---- Values that are not finite ------------------------------------------------------------------

    /**
     * Every double parameter takes NaN, infinities, -0, the largest and the smallest double. A setter stores the
     * value as it is; the runs afterwards complete with whatever IEEE arithmetic makes of it, or refuse with
     * IllegalArgumentException before computing (simulate, for a simulated region that is not a finite length or
     * a beam that does not fit its tube), and every getter answers.
     */
    @Test
    void nonFiniteAndExtremeValuesAreStoredAndRunWithoutCrashOrUndocumentedException() {
        int runs = 0;
        for (Signature s : SIGNATURES) {
            for (int p = 0; p < s.roles().length; p++) {
                Role role = s.roles()[p];
                if (role != Role.VALUE && role != Role.IGNORED_DOUBLE) {
                    continue;
                }
                for (double bad : BAD_DOUBLES) {
                    try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
                        Object[] args = validArguments(s);
                        args[p] = bad;
                        String what = describe(s, args);
                        Object result = invoke(k, s, args);
                        if (result instanceof Throwable t) {
                            fail(what + " threw " + t);
                        }
                        checkStored(k, s, p, bad, what);
                        runEverything(k, what);
                        runs++;
                    }
                }
            }
        }
        assertTrue(runs > 250, runs + " runs");
    }

    private static void checkStored(Klystron k, Signature s, int p, double bad, String what) {
        if (s.readBack() != null) {
            Object[] index = s.roles()[0] == Role.CAVITY ? new Object[] {0} : new Object[0];
            assertEquals(bad, (double) invoke(k, signature(s.readBack()), index), what);
        } else if (s.name().equals("addCavity")) {
            int last = k.getCavityCount() - 1;
            double[] stored = {k.getRQ(last), k.getM(last), k.getQe(last), k.getQo(last), k.getFrequency(last),
                k.getZ(last), k.getGapWidth(last)};
            assertEquals(bad, stored[p], what);
        } else if (s.name().equals("setOperatingParameters")) {
            double[] stored = s.roles().length == 6
                    ? new double[] {k.getBeamVoltage(), k.getBeamCurrent(), k.getOperatingFrequency(),
                        k.getInputPower(), k.getTubeRadius(), k.getBeamRadius()}
                    : new double[] {k.getBeamVoltage(), k.getBeamCurrent(), k.getOperatingFrequency(),
                        k.getInputPower(), k.getBeamWidth(), k.getBeamHeight(), k.getTubeWidth(),
                        k.getTubeHeight()};
            assertEquals(bad, stored[p], what);
        }
    }

    /** Both calculations and every getter; only the documented refusals of simulate may interrupt. */
    private static void runEverything(Klystron k, String what) {
        k.calculateAnalytics();
        k.calculateAnalyticI1I0();
        try {
            k.simulate(8, 1, 16, 3);
        } catch (IllegalArgumentException e) {
            assertTrue(e.getMessage().length() > 20, what + ": " + e.getMessage());
        }
        for (Signature g : SIGNATURES) {
            boolean reads = g.name().startsWith("get") || g.name().startsWith("is");
            if (!reads) {
                continue;
            }
            Object result = invoke(k, g, validArguments(g));
            if (result instanceof IllegalStateException && k.getDisks() == 0
                    && List.of(g.roles()).contains(Role.DISK)) {
                continue; // no simulation completed
            }
            if (result instanceof Throwable t) {
                fail(what + ", then " + g.name() + " threw " + t);
            }
        }
    }

    @Test
    void nonFiniteInputsPropagateAsTheModelDefines() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            k.setInputPower(Double.NaN);
            k.calculateAnalytics();
            assertTrue(Double.isNaN(k.getAnalyticOutputPower()));
            assertTrue(Double.isNaN(k.getAnalyticGain()));
            assertTrue(Double.isNaN(k.getAnalyticCavityVoltage(0)));
            k.simulate(8, 1, 16, 3);
            assertTrue(Double.isNaN(k.getSimulatedCavityVoltage(0)));
            assertTrue(Double.isNaN(k.getSimulatedOutputPower()));

            k.setInputPower(0.0); // no drive: no gain to speak of
            k.calculateAnalytics();
            assertEquals(0.0, k.getAnalyticOutputPower());
            assertTrue(Double.isNaN(k.getAnalyticGain()), "0/0 W: " + k.getAnalyticGain());

            k.setInputPower(60);
            k.setBeamVoltage(Double.NaN);
            k.initializeInternalData();
            assertTrue(Double.isNaN(k.getAnalyticBeamVelocity()));
            IllegalArgumentException region = assertThrows(IllegalArgumentException.class,
                    () -> k.simulate(8, 1, 16, 3));
            assertTrue(region.getMessage().contains("finite length"), region.getMessage());
        }
    }

    @Test
    void positionsThatAreNotFiniteReadAsOutsideEveryProfile() {
        try (Klystron k = tubeWithResults()) {
            for (double z : new double[] {Double.NaN, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY,
                Double.MAX_VALUE, -Double.MAX_VALUE}) {
                assertEquals(0.0, k.getAnalyticI1I0(z), "I1/I0 at " + z);
                assertEquals(0.0, k.getSimulatedI1I0(z), "simulated I1/I0 at " + z);
                assertEquals(0.0, k.getSimulatedI1I0Phase(z), "simulated phase at " + z);
                assertEquals(0.0, k.getSimulatedI2I0(z), "simulated I2/I0 at " + z);
                if (!Double.isNaN(z)) {
                    assertEquals(0.0, k.getCavityField(1, z), "field at " + z);
                }
            }
        }
    }

    // ---- Counts -------------------------------------------------------------------------------------

    @Test
    void zeroNegativeAndEnormousCountsAreRefusedBeforeAnyAllocation() throws Exception {
        try (Klystron k = tubeWithResults()) {
            List<Object> before = fingerprint(k);
            long resident = KlystronLifecycleTest.residentBytes();
            int[] valid = {8, 1, 16, 3};
            String[] names = {"disk count", "ring count", "time step count", "iteration limit"};
            for (int p = 0; p < 4; p++) {
                for (int bad : new int[] {0, -1, Integer.MIN_VALUE, Integer.MAX_VALUE}) {
                    if (p == 3 && bad == Integer.MAX_VALUE) {
                        continue; // a limit, not a size: the run stops when the voltages settle
                    }
                    int[] c = valid.clone();
                    c[p] = bad;
                    IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                            () -> k.simulate(c[0], c[1], c[2], c[3]), Arrays.toString(c));
                    String message = e.getMessage();
                    assertTrue(message.contains(Integer.toString(bad)) || (bad == Integer.MAX_VALUE && p == 0),
                            Arrays.toString(c) + ": " + message);
                    if (bad < 1) {
                        assertTrue(message.contains(names[p]), message);
                    }
                }
            }
            // Enormous disk counts in a run that would otherwise fit every other limit.
            for (int[] c : new int[][] {{Integer.MAX_VALUE, 1, 16, 1}, {1 << 24, 20, 16, 1}, {1 << 20, 20, 1 << 16, 1},
                {1, 1, Integer.MAX_VALUE / 8, 1}}) {
                IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                        () -> k.simulate(c[0], c[1], c[2], c[3]), Arrays.toString(c));
                assertTrue(e.getMessage().contains("exceeds") || e.getMessage().contains("more than"),
                        e.getMessage());
            }
            long growth = KlystronLifecycleTest.residentBytes() - resident;
            assertTrue(growth < 64L << 20, "resident memory grew by " + growth + " bytes");
            assertEquals(before, fingerprint(k));
        }
    }

    @Test
    void fieldRingCountsOutsideOneToFiftyAreRefusedByTheRebuild() {
        try (Klystron k = tubeWithResults()) {
            List<Object> before = fingerprint(k);
            for (int bad : new int[] {0, -1, 51, Integer.MIN_VALUE, Integer.MAX_VALUE}) {
                k.loadCavityField(1, FIELD, 0, bad);
                for (Runnable run : List.<Runnable>of(k::initializeInternalData, k::calculateAnalytics,
                        () -> k.simulate(8, 1, 16, 3))) {
                    IllegalArgumentException e = assertThrows(IllegalArgumentException.class, run::run);
                    assertTrue(e.getMessage().contains("cavity 1") && e.getMessage().contains(Integer.toString(bad)),
                            e.getMessage());
                }
                assertEquals(before, fingerprint(k));
            }
        }
    }

    @Test
    void harmonicNumbersAreStoredAndOnlyTheSimulationLimitsThem() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            k.addCavity(100, 0.8, 25, 2500, 2.856e9, 0.6, 0.01, 0);
            assertEquals(4, k.getCavityCount(), "a harmonic of 0 adds nothing");
            for (int h : new int[] {Integer.MIN_VALUE, -5, 0, 5, Integer.MAX_VALUE}) {
                k.setCavityHarmonic(2, h);
                assertEquals(h, k.getHarmonic(2));
                k.calculateAnalytics();
                k.calculateAnalyticI1I0();
                IllegalArgumentException e = assertThrows(IllegalArgumentException.class,
                        () -> k.simulate(8, 1, 16, 3));
                assertTrue(e.getMessage().contains("cavity 2 has harmonic " + h), e.getMessage());
            }
        }
    }

    // ---- Files --------------------------------------------------------------------------------------

    /** Names of files no reader can use, each with what the message must say. */
    private Map<String, String> unusableFiles(String good, String endOfFile) throws IOException {
        Map<String, String> files = new LinkedHashMap<>();
        files.put(dir.resolve("missing.txt").toString(), "cannot be opened");
        files.put(Files.writeString(dir.resolve("empty.txt"), "").toString(), "the file is empty");
        byte[] binary = new byte[4096];
        new Random(9).nextBytes(binary);
        files.put(Files.write(dir.resolve("binary.bin"), binary).toString(), "");
        byte[] text = Files.readAllBytes(Paths.get(good));
        files.put(Files.write(dir.resolve("truncated.txt"), Arrays.copyOf(text, text.length / 2)).toString(),
                endOfFile);
        files.put(Files.createDirectory(dir.resolve("a-directory")).toString(), "is a directory");
        files.put(dir.resolve("d".repeat(200)).resolve("x".repeat(4000) + ".txt").toString(), "cannot be opened");
        return files;
    }

    @Test
    void unusableFieldFilesFailTheRebuildAndKeepTheLastGoodOne() throws IOException {
        try (Klystron k = tubeWithResults()) {
            k.loadCavityField(3, FIELD, 0, 2);
            k.initializeInternalData();
            k.calculateAnalytics();
            List<Object> before = fingerprint(k);
            for (Map.Entry<String, String> file : unusableFiles(FIELD, "ends early").entrySet()) {
                k.loadCavityField(3, file.getKey(), 0, 2);
                for (Runnable run : List.<Runnable>of(k::initializeInternalData, k::calculateAnalytics,
                        () -> k.simulate(8, 1, 16, 3))) {
                    RuntimeException e = assertThrows(RuntimeException.class, run::run, file.getKey());
                    assertSame(RuntimeException.class, e.getClass(), e.toString());
                    String message = e.getMessage();
                    assertTrue(message.startsWith("cavity 3: field file '" + file.getKey() + "'"), message);
                    assertTrue(message.contains(file.getValue()), message);
                }
                assertEquals(before, fingerprint(k));
            }
        }
    }

    @Test
    void unusableBeamFilesFailTheRunAndKeepThePreviousResults() throws IOException {
        try (Klystron k = tubeWithResults()) {
            List<Object> before = fingerprint(k);
            for (Map.Entry<String, String> file : unusableFiles(BEAM, "end of file").entrySet()) {
                k.importBeam(true, file.getKey(), false, 0);
                RuntimeException e = assertThrows(RuntimeException.class, () -> k.simulate(8, 1, 16, 3));
                assertSame(RuntimeException.class, e.getClass(), e.toString());
                assertTrue(e.getMessage().startsWith("beam file '" + file.getKey() + "'"), e.getMessage());
                assertTrue(e.getMessage().contains(file.getValue()), e.getMessage());
                assertEquals(before, fingerprint(k));
            }
            k.importBeam(true, BEAM, false, 0);
            k.simulate(8, 1, 16, 3);
            assertNotEquals(before, fingerprint(k));
        }
    }

    @Test
    void binaryBytesQuotedInAMessageArriveWhole() throws IOException {
        byte[] head = "Field\nNumber of Z increments: 2 X\n(mm)\n0 0 ".getBytes(StandardCharsets.US_ASCII);
        byte[] junk = {(byte) 0xff, (byte) 0xfe, (byte) 0x80, '\n'};
        byte[] text = Arrays.copyOf(head, head.length + junk.length);
        System.arraycopy(junk, 0, text, head.length, junk.length);
        Path file = Files.write(dir.resolve("junk.txt"), text);
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            k.loadCavityField(0, file.toString(), 0, 1);
            RuntimeException e = assertThrows(RuntimeException.class, k::initializeInternalData);
            assertEquals("cavity 0: field file '" + file + "' line 4: expected the axial field of axial point 1 of 3 "
                    + "on radial line 1 of 1, found \"\ufffd\ufffd\ufffd\"", e.getMessage());
        }
    }

    @Test
    void fileNamesThatNoFileCanHaveAreRefused() {
        try (Klystron k = tubeWithResults()) {
            IllegalArgumentException nul = assertThrows(IllegalArgumentException.class,
                    () -> k.loadCavityField(0, FIELD + "\0.bak", 0, 1));
            assertTrue(nul.getMessage().contains("NUL character at index " + FIELD.length()), nul.getMessage());
            assertThrows(IllegalArgumentException.class, () -> k.importBeam(true, "beam\ud800.txt", false, 0));
            assertThrows(NullPointerException.class, () -> k.importBeam(true, null, false, 0));
            // The refused names changed nothing: the tube has no field file and imports no beam.
            k.simulate(8, 1, 16, 3);
            k.initializeInternalData();
            assertEquals(KlystronAnalyticTest.fourCavityTube().getM(0), k.getM(0));
        }
    }

    @Test
    void nonAsciiFileNamesReachTheFileSystemIntact() throws IOException {
        assumeTrue("UTF-8".equals(System.getProperty("sun.jnu.encoding")), "file names are not UTF-8 here");
        Path field = Files.copy(Paths.get(FIELD), dir.resolve("Spalt-\u00e4\u20ac-\ud83d\ude00.txt"));
        Path beam = Files.copy(Paths.get(BEAM), dir.resolve("Strahl-\ud83d\udce1.txt"));
        try (Klystron k = KlystronAnalyticTest.fourCavityTube();
                Klystron plain = KlystronAnalyticTest.fourCavityTube()) {
            k.loadCavityField(3, field.toString(), 0, 1);
            plain.loadCavityField(3, FIELD, 0, 1);
            k.importBeam(true, beam.toString(), false, 0);
            plain.importBeam(true, BEAM, false, 0);
            k.simulate(8, 1, 16, 3);
            plain.simulate(8, 1, 16, 3);
            assertEquals(plain.getM(3), k.getM(3));
            assertEquals(plain.getSimulatedGain(), k.getSimulatedGain());
            // The name comes back whole in a message.
            Files.delete(field);
            RuntimeException e = assertThrows(RuntimeException.class, k::initializeInternalData);
            assertTrue(e.getMessage().contains("'" + field + "'"), e.getMessage());
        }
    }

    @Test
    void fieldFileReplacedOrDeletedBetweenRebuilds() throws IOException {
        Path file = dir.resolve("gap.txt");
        Files.copy(Paths.get(FIELD), file);
        try (Klystron k = KlystronAnalyticTest.fourCavityTube();
                Klystron radial = KlystronAnalyticTest.fourCavityTube()) {
            k.loadCavityField(3, file.toString(), 0, 1);
            k.calculateAnalytics();
            double firstM = k.getM(3);
            double firstWidth = k.getCavityFieldWidth(3);

            // New content under the same name: the next rebuild reads it.
            Files.copy(DATA.resolve("gap-field-radial.txt"), file, StandardCopyOption.REPLACE_EXISTING);
            k.calculateAnalytics();
            radial.loadCavityField(3, DATA.resolve("gap-field-radial.txt").toString(), 0, 1);
            radial.calculateAnalytics();
            assertNotEquals(firstM, k.getM(3));
            assertNotEquals(firstWidth, k.getCavityFieldWidth(3));
            assertEquals(radial.getM(3), k.getM(3));
            assertEquals(radial.getCavityFieldWidth(3), k.getCavityFieldWidth(3));
            assertEquals(radial.getAnalyticGain(), k.getAnalyticGain());
            List<Object> good = fingerprint(k);

            // Cut in the middle of a write, then gone: each rebuild fails and the last good one stays.
            byte[] text = Files.readAllBytes(file);
            Files.write(file, Arrays.copyOf(text, text.length / 3));
            RuntimeException cut = assertThrows(RuntimeException.class, k::calculateAnalytics);
            assertTrue(cut.getMessage().contains("ends early"), cut.getMessage());
            assertEquals(good, fingerprint(k));
            Files.delete(file);
            RuntimeException gone = assertThrows(RuntimeException.class, k::initializeInternalData);
            assertTrue(gone.getMessage().contains("cannot be opened"), gone.getMessage());
            assertThrows(RuntimeException.class, () -> k.simulate(8, 1, 16, 3));
            assertEquals(good, fingerprint(k));
            k.calculateAnalyticI1I0(); // the cavity objects of the last good rebuild still serve the sweep

            // Back again: the rebuild works as before.
            Files.write(file, text);
            k.calculateAnalytics();
            assertEquals(radial.getM(3), k.getM(3));
            assertEquals(radial.getAnalyticGain(), k.getAnalyticGain());
        }
    }
}
