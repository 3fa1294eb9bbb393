package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Set;
import java.util.TreeSet;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.CyclicBarrier;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.concurrent.atomic.AtomicReference;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.Timeout;

/**
 * Threads: one object used from a GUI thread and a worker at once is served one call at a time; distinct objects
 * run side by side and give exactly what each gives alone.
 */
@Timeout(value = 300, unit = TimeUnit.SECONDS)
class KlystronConcurrencyTest {

    /** The X-band sheet-beam tube of the examples. */
    static Klystron sheetBeamTube() {
        Klystron k = new Klystron();
        k.setOperatingParameters(75000, 30, 11.424e9, 5, 0.020, 0.0016, 0.024, 0.0032);
        k.addCavity(60, 0.85, 400, 3000, 11.424e9, 0.000, 0.0030, 1);
        k.addCavity(60, 0.85, 100000, 3000, 11.460e9, 0.045, 0.0030, 1);
        k.addCavity(60, 0.85, 30, 3000, 11.424e9, 0.090, 0.0030, 1);
        return k;
    }

    /** Every result of a run, read in one block under the object's monitor. */
    static double[] results(Klystron k) {
        synchronized (k) {
            List<Double> r = new ArrayList<>(List.of((double) k.getDisks(), (double) k.getRings(),
                    (double) k.getSimulatedIterations(), k.getSimulatedGain(),
                    k.getSimulatedOutputPower(), k.getSimulatedElectronicEfficiency(), k.getSimulatedMaxI1I0(),
                    k.getSimulatedMinVOverC(), k.getAnalyticGain()));
            for (int q = 0; q < k.getCavityCount(); q++) {
                r.add(k.getSimulatedCavityVoltage(q));
                r.add(k.getSimulatedCavityVoltagePhase(q));
                r.add(k.getSimulatedCavityCurrentMagnitude(q, 1));
            }
            if (k.getDisks() > 0) {
                int last = k.getSimulatedMaxTimeStep() - 1;
                for (int d = 0; d < k.getDisks(); d++) {
                    r.add(k.getSimulatedDiskPosition(d, k.getRings() - 1, last));
                    r.add(k.getSimulatedExitVelocity(0, d, 0));
                }
            }
            return r.stream().mapToDouble(Double::doubleValue).toArray();
        }
    }

    @Test
    void everyNativeMethodIsSynchronizedOnItsObject() {
        for (Method m : KlystronLifecycleTest.nativeMethods()) {
            int modifiers = m.getModifiers();
            assertTrue(Modifier.isSynchronized(modifiers), m.getName() + " is not synchronized");
            assertFalse(Modifier.isStatic(modifiers), m.getName() + " would lock the class, not the object");
        }
    }

    /**
     * A worker runs simulations one after another while the GUI thread changes the drive power and reads results.
     * Every block of results the GUI reads belongs to one whole run: the one before the first, a run at 60 W or a
     * run at 30 W, never a mixture of two or a run caught half-way.
     */
    @Test
    void gettersDuringASimulationSeeWholeRuns() throws Exception {
        double[] initial;
        double[] at60;
        double[] at30;
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            initial = results(k);
            k.simulate(12, 2, 16, 4);
            at60 = results(k);
            k.setInputPower(30);
            k.simulate(12, 2, 16, 4);
            at30 = results(k);
        }
        assertFalse(Arrays.equals(at60, at30));
        List<double[]> allowed = List.of(initial, at60, at30);

        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            AtomicBoolean done = new AtomicBoolean();
            AtomicReference<Throwable> failure = new AtomicReference<>();
            int[] runs = {0};
            Thread worker = new Thread(() -> {
                try {
                    for (int i = 0; i < 12; i++) {
                        k.simulate(12, 2, 16, 4);
                        runs[0]++;
                        Thread.sleep(2); // a monitor is not fair: leave the GUI a moment between runs
                    }
                } catch (Throwable t) {
                    failure.set(t);
                } finally {
                    done.set(true);
                }
            }, "worker");
            worker.start();
            int reads = 0;
            int mixed = 0;
            Set<String> seen = new TreeSet<>();
            while (!done.get()) {
                double[] r = results(k);
                boolean whole = false;
                for (int i = 0; i < allowed.size(); i++) {
                    if (Arrays.equals(allowed.get(i), r)) {
                        whole = true;
                        seen.add(i == 0 ? "initial" : i == 1 ? "60 W" : "30 W");
                    }
                }
                if (!whole) {
                    mixed++;
                }
                // Unlocked single reads must not crash either, and each is a value of some whole run.
                double power = k.getSimulatedOutputPower();
                assertTrue(power == initial[4] || power == at60[4] || power == at30[4], "output power " + power);
                k.setInputPower(reads % 2 == 0 ? 30 : 60);
                reads++;
            }
            worker.join();
            if (failure.get() != null) {
                throw new AssertionError("the worker failed", failure.get());
            }
            assertEquals(0, mixed, mixed + " of " + reads + " blocks of results mixed two runs");
            assertEquals(12, runs[0]);
            assertTrue(reads > 12, "only " + reads + " reads during 12 runs");
            assertTrue(seen.containsAll(Set.of("60 W", "30 W")), "saw " + seen);
        }
    }

    @Test
    void closeFromAnotherThreadWaitsForTheRunningSimulation() throws Exception {
        Klystron k = KlystronAnalyticTest.fourCavityTube();
        CountDownLatch started = new CountDownLatch(1);
        AtomicReference<Throwable> failure = new AtomicReference<>();
        double[] gain = {0};
        Thread worker = new Thread(() -> {
            try {
                synchronized (k) { // the simulation below holds the monitor from here on
                    started.countDown();
                    k.simulate(16, 2, 32, 6);
                    gain[0] = k.getSimulatedGain();
                }
            } catch (Throwable t) {
                failure.set(t);
            }
        }, "worker");
        worker.start();
        started.await();
        k.close(); // waits for the run instead of releasing its memory under it
        worker.join();
        assertEquals(null, failure.get());
        assertTrue(gain[0] != 0 && !Double.isNaN(gain[0]), "gain " + gain[0]);
        assertThrows(IllegalStateException.class, k::getSimulatedGain);
    }

    @Test
    void objectsLockThemselvesOnly() throws Exception {
        try (Klystron busy = KlystronAnalyticTest.fourCavityTube(); Klystron free = sheetBeamTube()) {
            CountDownLatch held = new CountDownLatch(1);
            CountDownLatch release = new CountDownLatch(1);
            Thread holder = new Thread(() -> {
                synchronized (busy) {
                    held.countDown();
                    try {
                        release.await();
                    } catch (InterruptedException e) {
                        Thread.currentThread().interrupt();
                    }
                }
            }, "holder");
            holder.start();
            held.await();
            // Another object runs while the busy one is locked.
            free.simulate(8, 1, 16, 3);
            assertEquals(3, free.getCavityCount());
            // A call on the busy object waits for the lock.
            Thread blocked = new Thread(busy::getCavityCount, "blocked");
            blocked.start();
            long deadline = System.nanoTime() + TimeUnit.SECONDS.toNanos(10);
            while (blocked.getState() != Thread.State.BLOCKED && System.nanoTime() < deadline) {
                Thread.sleep(1);
            }
            assertEquals(Thread.State.BLOCKED, blocked.getState());
            release.countDown();
            blocked.join();
            holder.join();
        }
    }

    /** One run's results, from a fresh object of the given tube. */
    static double[] runAlone(java.util.function.Supplier<Klystron> tube, long[] interval) {
        try (Klystron k = tube.get()) {
            interval[0] = System.nanoTime();
            k.calculateAnalytics();
            k.calculateAnalyticI1I0();
            k.simulate(24, 2, 24, 5);
            interval[1] = System.nanoTime();
            double[] r = results(k);
            double[] profile = new double[50];
            for (int i = 0; i < profile.length; i++) {
                profile[i] = k.getAnalyticI1I0(0.48 * i / 49) + k.getSimulatedI1I0(0.5 * i / 49);
            }
            double[] all = Arrays.copyOf(r, r.length + profile.length);
            System.arraycopy(profile, 0, all, r.length, profile.length);
            return all;
        }
    }

    @Test
    void twoObjectsSimulatingAtOnceGetExactlyWhatEachGetsAlone() throws Exception {
        long[] ignored = new long[2];
        double[] round = runAlone(KlystronAnalyticTest::fourCavityTube, ignored);
        double[] sheet = runAlone(KlystronConcurrencyTest::sheetBeamTube, ignored);
        boolean overlapped = false;
        for (int attempt = 0; attempt < 3 && !overlapped; attempt++) {
            CyclicBarrier start = new CyclicBarrier(2);
            long[] roundTime = new long[2];
            long[] sheetTime = new long[2];
            AtomicReference<double[]> roundResult = new AtomicReference<>();
            AtomicReference<Throwable> failure = new AtomicReference<>();
            Thread other = new Thread(() -> {
                try {
                    start.await();
                    roundResult.set(runAlone(KlystronAnalyticTest::fourCavityTube, roundTime));
                } catch (Throwable t) {
                    failure.set(t);
                }
            }, "round beam");
            other.start();
            start.await();
            double[] sheetResult = runAlone(KlystronConcurrencyTest::sheetBeamTube, sheetTime);
            other.join();
            if (failure.get() != null) {
                throw new AssertionError("the other thread failed", failure.get());
            }
            assertArrayEquals(round, roundResult.get(), "round-beam tube, attempt " + attempt);
            assertArrayEquals(sheet, sheetResult, "sheet-beam tube, attempt " + attempt);
            overlapped = roundTime[0] < sheetTime[1] && sheetTime[0] < roundTime[1];
        }
        assertTrue(overlapped, "the two runs never overlapped");
    }
}
