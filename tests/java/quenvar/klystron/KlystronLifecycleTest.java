package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertInstanceOf;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.reflect.Field;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import org.junit.jupiter.api.Test;

class KlystronLifecycleTest {

    static long address(Klystron k) throws ReflectiveOperationException {
        Field f = Klystron.class.getDeclaredField("cppInstancePointer");
        f.setAccessible(true);
        return f.getLong(k);
    }

    static List<Method> nativeMethods() {
        List<Method> result = new ArrayList<>();
        for (Method m : Klystron.class.getDeclaredMethods()) {
            if (Modifier.isNative(m.getModifiers())) {
                result.add(m);
            }
        }
        return result;
    }

    static Object[] defaultArguments(Method m) {
        Class<?>[] types = m.getParameterTypes();
        Object[] args = new Object[types.length];
        for (int i = 0; i < types.length; i++) {
            if (types[i] == double.class) {
                args[i] = 0.0;
            } else if (types[i] == int.class) {
                args[i] = 0;
            } else if (types[i] == boolean.class) {
                args[i] = false;
            } else if (types[i] == String.class) {
                args[i] = "field.txt";
            } else {
                throw new AssertionError("unexpected parameter type " + types[i] + " in " + m);
            }
        }
        return args;
    }

    @Test
    void constructorCreatesAndCloseReleasesTheModel() throws Exception {
        Klystron k = new Klystron();
        assertNotEquals(0L, address(k));
        assertEquals(0, k.getCavityCount());
        assertTrue(k.isRoundBeam());
        k.close();
        assertEquals(0L, address(k), "close must reset the address");
        k.close(); // a second close does nothing
        k.deleteKlystron();
        assertEquals(0L, address(k));
    }

    @Test
    void everyMethodOnAClosedObjectThrowsIllegalState() throws Exception {
        Klystron k = new Klystron();
        k.close();
        int checked = 0;
        for (Method m : nativeMethods()) {
            if (m.getName().equals("newKlystron") || m.getName().equals("deleteKlystron")) {
                continue;
            }
            try {
                m.invoke(k, defaultArguments(m));
                fail(m.getName() + " on a closed object did not throw");
            } catch (InvocationTargetException e) {
                assertInstanceOf(IllegalStateException.class, e.getCause(), m.getName());
                assertTrue(e.getCause().getMessage().contains("no native model"), e.getCause().getMessage());
            }
            checked++;
        }
        assertEquals(nativeMethods().size() - 2, checked);
        // The object can be given a new model afterwards.
        k.newKlystron();
        assertEquals(0, k.getCavityCount());
        k.close();
    }

    @Test
    void secondNewKlystronStartsAFreshModel() throws Exception {
        try (Klystron k = new Klystron()) {
            k.setBeamVoltage(1000.0);
            k.addCavity(100, 0.8, 300, 2000, 2.8e9, 0.0, 0.01, 1);
            long first = address(k);
            k.newKlystron();
            assertNotEquals(0L, address(k));
            assertEquals(0.0, k.getBeamVoltage());
            assertEquals(0, k.getCavityCount());
            assertNotEquals(0L, first);
        }
    }

    @Test
    void repeatedNewKlystronDoesNotLeak() throws Exception {
        try (Klystron k = new Klystron()) {
            // Warm up, then measure: every leaked model would cost at least a few hundred bytes.
            for (int i = 0; i < 20000; i++) {
                k.newKlystron();
            }
            long before = residentBytes();
            for (int i = 0; i < 200000; i++) {
                k.newKlystron();
            }
            long growth = residentBytes() - before;
            assertTrue(growth < 16L << 20, "resident memory grew by " + growth + " bytes");
        }
    }

    static long residentBytes() throws Exception {
        for (String line : Files.readAllLines(Path.of("/proc/self/status"))) {
            if (line.startsWith("VmRSS:")) {
                return Long.parseLong(line.replaceAll("[^0-9]", "")) * 1024L;
            }
        }
        throw new AssertionError("no VmRSS in /proc/self/status");
    }

    @Test
    void twoObjectsKeepIndependentModels() {
        try (Klystron a = new Klystron(); Klystron b = new Klystron()) {
            a.setOperatingParameters(1, 2, 3, 4, 5, 6, 7, 8);
            a.addCavity(100, 0.8, 300, 2000, 2.8e9, 0.0, 0.01, 1);
            a.loadCavityField(0, "a.txt", 0, 3);
            b.addCavity(50, 0.7, 200, 1000, 2.9e9, 0.5, 0.02, 2);
            b.addCavity(50, 0.7, 200, 1000, 2.9e9, 0.6, 0.02, 2);
            assertFalse(a.isRoundBeam());
            assertTrue(b.isRoundBeam());
            assertEquals(0.0, b.getBeamVoltage());
            assertEquals(1, a.getCavityCount());
            assertEquals(2, b.getCavityCount());
            assertEquals(100.0, a.getRQ(0));
            assertEquals(50.0, b.getRQ(0));
            a.close();
            assertEquals(0.6, b.getZ(1));
        }
    }

    @Test
    void nullFileNameIsRejected() {
        try (Klystron k = new Klystron()) {
            k.addCavity(100, 0.8, 300, 2000, 2.8e9, 0.0, 0.01, 1);
            assertThrows(NullPointerException.class, () -> k.loadCavityField(0, null, 0, 1));
            assertEquals(1, k.getCavityCount());
        }
    }
}
