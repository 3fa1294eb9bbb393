package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.file.Paths;
import org.junit.jupiter.api.Test;

/** The large-signal disk simulation through the native library. */
class KlystronSimulationTest {

    private static final String BEAM = Paths.get(System.getProperty("klystron.testdata"), "prebunched-beam.txt")
            .toString();

    @Test
    void runGivesCountsResultsAndTrajectories() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            assertEquals(0, k.getDisks());
            assertEquals(1.0, k.getSimulatedMinVOverC());
            k.calculateAnalytics();
            assertEquals(0.0, k.getAnalyticCircuitEfficiency(), "set by the simulation only");

            k.simulate(8, 2, 16, 3);
            assertEquals(8, k.getDisks());
            assertEquals(2, k.getRings());
            assertEquals(16, k.getSteps());
            assertEquals(3, k.getMaxIterations());
            assertEquals(3, k.getSimulatedIterations());
            int steps = k.getSimulatedMaxTimeStep();
            assertEquals(0, steps % 16);
            assertEquals(2500.0 / 2525.0, k.getAnalyticCircuitEfficiency(), 1e-15);
            assertEquals(k.getSimulatedElectronicEfficiency() * k.getAnalyticCircuitEfficiency(),
                    k.getSimulatedTotalEfficiency(), 1e-15);
            assertEquals(k.getSimulatedMultipleOutputElectronicEfficiency()
                    * k.getSimulatedMultipleOutputCircuitEfficiency(), k.getSimulatedMultipleOutputTotalEfficiency(),
                    1e-15);
            assertFalse(k.isFieldOverlapping());
            assertTrue(k.getSimulatedCavityVoltage(3) > 1000, "output voltage " + k.getSimulatedCavityVoltage(3));
            assertTrue(k.getSimulatedCavityCurrentMagnitude(3, 1) > 0);
            assertEquals(90.0, k.getSimulatedCavityCurrentMagnitude(0, 0), 1.0);

            // The first argument of the exit velocity carries no meaning.
            double exit = k.getSimulatedExitVelocity(0, 5, 1);
            assertTrue(exit > 0);
            assertEquals(exit, k.getSimulatedExitVelocity(-7, 5, 1));
            assertEquals(exit, k.getSimulatedExitVelocity(Integer.MAX_VALUE, 5, 1));
            assertTrue(k.getSimulatedDiskPosition(7, 1, steps - 1) > k.getSimulatedDiskPosition(7, 1, 0));
            assertTrue(k.getSimulatedDiskVelocity(0, 0, 0) > 1e8);

            // The bunching profile ends five electronic wavelengths past the last gap.
            double end = 0.48 + 5 * k.getAnalyticRFWavelength();
            assertTrue(k.getSimulatedI1I0(end) > 0);
            assertEquals(0.0, k.getSimulatedI1I0(Math.nextUp(end)));
            assertEquals(0.0, k.getSimulatedI2I0(Math.nextUp(end)));
            assertEquals(0.0, k.getSimulatedI1I0Phase(-1.0));
            double max = k.getSimulatedMaxI1I0();
            assertEquals(max, k.getSimulatedI1I0(k.getSimulatedMaxI1I0ZLocation()), 1e-12);
        }
    }

    @Test
    void refusedRunsThrowAndKeepThePreviousResults() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            assertThrows(IllegalStateException.class, () -> k.getSimulatedDiskPosition(0, 0, 0));
            assertThrows(IllegalStateException.class, () -> k.getVelocityAtMinimumBeta(0, 0));
            k.simulate(8, 1, 16, 2);
            double gain = k.getSimulatedGain();

            IllegalArgumentException disks = assertThrows(IllegalArgumentException.class, () -> k.simulate(0, 1, 16, 2));
            assertTrue(disks.getMessage().contains("disk count 0"), disks.getMessage());
            IllegalArgumentException rings = assertThrows(IllegalArgumentException.class,
                    () -> k.simulate(8, 21, 16, 2));
            assertTrue(rings.getMessage().contains("21"), rings.getMessage());
            k.setCavityHarmonic(1, 5);
            assertThrows(IllegalArgumentException.class, () -> k.simulate(8, 1, 16, 2));
            k.setCavityHarmonic(1, 1);

            k.importBeam(true, BEAM, false, 0);
            IllegalArgumentException rows = assertThrows(IllegalArgumentException.class,
                    () -> k.simulate(40, 1, 40, 2));
            assertTrue(rows.getMessage().contains("fewer than the 40 disks"), rows.getMessage());
            // Any length of name reaches the reader whole.
            String missing = "/nonexistent/" + "b".repeat(300) + ".txt";
            k.importBeam(true, missing, false, 0);
            RuntimeException unreadable = assertThrows(RuntimeException.class, () -> k.simulate(8, 1, 16, 2));
            assertTrue(unreadable.getMessage().contains(missing), unreadable.getMessage());

            assertEquals(gain, k.getSimulatedGain());
            assertEquals(8, k.getDisks());
            assertThrows(IndexOutOfBoundsException.class, () -> k.getSimulatedDiskPosition(8, 0, 0));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getSimulatedDiskVelocity(0, 1, 0));
            assertThrows(IndexOutOfBoundsException.class,
                    () -> k.getSimulatedDiskPosition(0, 0, k.getSimulatedMaxTimeStep()));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getSimulatedCavityVoltage(20));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getSimulatedCavityCurrentPhase(0, 5));
            assertEquals(0.0, k.getSimulatedCavityVoltagePhase(19));
        }
    }

    @Test
    void importedBeamStartsAtTheGivenPosition() {
        try (Klystron k = KlystronAnalyticTest.fourCavityTube()) {
            k.importBeam(true, BEAM, true, -0.1);
            k.simulate(32, 1, 40, 1);
            double dt = 1 / (2.856e9 * 40);
            // The earliest arrival, the last row (beta 0.5482, time 0), lies at the given position.
            assertEquals(-0.1 + 0.5482 * k.getSpeedOfLight() * dt, k.getSimulatedDiskPosition(31, 0, 0), 1e-15);
            assertEquals(0.0, k.getSimulatedGb1());
            assertEquals(0.0, k.getSimulatedBb1());
        }
    }
}
