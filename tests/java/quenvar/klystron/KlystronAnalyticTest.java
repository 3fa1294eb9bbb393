package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

/** The small-signal runs and their results, through the native library. */
class KlystronAnalyticTest {

    /** Four cavities at 2.856 GHz, the third tuned to the second harmonic, the last one the output. */
    static Klystron fourCavityTube() {
        Klystron k = new Klystron();
        k.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
        //           rq   m     qe      qo    frequency zCenter gapWidth harmonic
        k.addCavity(110, 0.82, 300, 2500, 2.856e9, 0.00, 0.010, 1);
        k.addCavity(110, 0.82, 100000, 2500, 2.870e9, 0.12, 0.010, 1);
        k.addCavity(60, 0.70, 100000, 2500, 5.750e9, 0.30, 0.008, 2);
        k.addCavity(100, 0.80, 25, 2500, 2.856e9, 0.48, 0.012, 1);
        return k;
    }

    @Test
    void runGivesGainVoltagesAndTheBunchingCurve() {
        try (Klystron k = fourCavityTube()) {
            k.calculateAnalytics();
            double gain = k.getAnalyticGain();
            assertTrue(gain > 20 && gain < 80, "gain " + gain);
            assertEquals(10 * Math.log10(k.getAnalyticOutputPower() / 60.0), gain, 1e-9);
            assertEquals(0.0, k.getAnalyticCavityVoltagePhase(0));
            for (int i = 0; i < 4; i++) {
                assertTrue(k.getAnalyticCavityVoltage(i) > 0, "voltage " + i);
                double phase = k.getAnalyticCavityVoltagePhase(i);
                assertTrue(phase > -Math.PI && phase <= Math.PI, "phase " + phase);
            }
            // Qe of 100000 on the middle cavities: only the output cavity counts as a load.
            assertEquals(k.getAnalyticOutputPower(), k.getAnalyticMultipleOutputPower(),
                    1e-12 * k.getAnalyticOutputPower());
            assertEquals(k.getAnalyticMultipleOutputTotalEfficiency(),
                    k.getAnalyticMultipleOutputElectronicEfficiency() * k.getAnalyticMultipleOutputCircuitEfficiency(),
                    1e-15);

            assertEquals(0.0, k.getAnalyticI1I0(0.2), "no sweep yet");
            k.calculateAnalyticI1I0();
            assertEquals(0.48, k.getZ(3), "the probe is back in place");
            assertEquals(0.12, k.getZ(1));
            assertTrue(k.getAnalyticI1I0(0.25) > 0.1);
            assertEquals(0.0, k.getAnalyticI1I0(Math.nextDown(0.0)));
            assertEquals(0.0, k.getAnalyticI1I0(Math.nextUp(0.48)));
            assertEquals(0.0, k.getAnalyticI1I0(Double.NaN));
        }
    }

    @Test
    void refusedRunsThrowAndKeepThePreviousResults() {
        try (Klystron k = fourCavityTube()) {
            assertThrows(IllegalStateException.class, k::calculateAnalyticI1I0);
            k.calculateAnalytics();
            double gain = k.getAnalyticGain();
            double v3 = k.getAnalyticCavityVoltage(3);

            k.deleteAllCavities();
            IllegalArgumentException none = assertThrows(IllegalArgumentException.class, k::calculateAnalytics);
            assertTrue(none.getMessage().contains("no cavity"), none.getMessage());
            for (int i = 0; i < 21; i++) {
                k.addCavity(100, 0.8, 100000, 2500, 2.856e9, 0.05 * i, 0.01, 1);
            }
            IllegalArgumentException many = assertThrows(IllegalArgumentException.class, k::calculateAnalytics);
            assertTrue(many.getMessage().contains("21"), many.getMessage());
            assertEquals(gain, k.getAnalyticGain());
            assertEquals(v3, k.getAnalyticCavityVoltage(3));
            // The cavity list no longer matches the one that was analysed.
            assertThrows(IllegalStateException.class, k::calculateAnalyticI1I0);

            assertThrows(IndexOutOfBoundsException.class, () -> k.getAnalyticCavityVoltage(20));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getAnalyticCavityVoltagePhase(-1));
            k.getAnalyticCavityVoltage(19);
        }
    }

    @Test
    void runRebuildsTheBeamFirst() {
        try (Klystron k = fourCavityTube()) {
            k.calculateAnalytics();
            double velocity = k.getAnalyticBeamVelocity();
            double gain = k.getAnalyticGain();
            k.setBeamVoltage(90000);
            assertEquals(velocity, k.getAnalyticBeamVelocity());
            k.calculateAnalytics();
            assertTrue(k.getAnalyticBeamVelocity() < velocity);
            assertTrue(k.getAnalyticGain() != gain);
        }
    }
}
