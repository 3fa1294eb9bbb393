package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;

import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.io.TempDir;

/** The rebuild and the beam and cavity quantities it makes, through the native library. */
class KlystronModelTest {

    private static final String DATA = System.getProperty("klystron.testdata");

    /** The 110 kV, 90 A, 2.856 GHz round beam; cavity 1 takes the radial sample field with 4 rings. */
    private static Klystron twoCavityTube() {
        Klystron k = new Klystron();
        k.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
        //           rq   m     qe   qo    frequency zCenter gapWidth harmonic
        k.addCavity(110, 0.82, 300, 2500, 2.856e9, 0.00, 0.010, 1);
        k.addCavity(100, 0.80, 25, 2500, 2.87e9, 0.48, 0.012, 1);
        k.loadCavityField(1, DATA + "/gap-field-radial.txt", 0.0, 4);
        return k;
    }

    private static void assertRelative(double expected, double actual, double tolerance, String what) {
        assertEquals(expected, actual, tolerance * Math.abs(expected), what);
    }

    @Test
    void beamQuantitiesFollowTheLastRebuild() {
        try (Klystron k = twoCavityTube()) {
            assertEquals(0.0, k.getAnalyticBeamVelocity(), "no rebuild yet");
            assertEquals(0.0, k.getAnalyticSigma());
            k.initializeInternalData();
            // Reference values: tests/model/reference_values.py (mpmath, exact Bessel functions);
            // the reduced plasma wavelength carries the Bessel approximations' error.
            assertRelative(167075956.15828575, k.getAnalyticBeamVelocity(), 1e-13, "u0");
            assertRelative(104434.35741092835, k.getAnalyticDepressedBeamVoltage(), 1e-13, "Vd");
            assertRelative(1.2043729520332469, k.getAnalyticSigma(), 1e-13, "sigma");
            assertRelative(107.40490522947678, k.getAnalyticBetaE(), 1e-13, "betaE");
            assertRelative(89.179107724192608, k.getAnalyticGamma(), 1e-13, "gamma");
            assertRelative(0.84720152337982976, k.getAnalyticGammaA(), 1e-13, "gammaA");
            assertRelative(0.55291046788999415, k.getAnalyticGammaB(), 1e-13, "gammaB");
            assertRelative(0.058499984649259717, k.getAnalyticRFWavelength(), 1e-13, "lambdaE");
            assertRelative(0.14740130044254037, k.getAnalyticPlasmaWavelength(), 1e-13, "lambdaP");
            assertRelative(0.48560403953619467, k.getAnalyticReducedPlasmaWavelength(), 1e-6, "lambdaQ");

            double velocity = k.getAnalyticBeamVelocity();
            k.setBeamVoltage(90000);
            assertEquals(velocity, k.getAnalyticBeamVelocity(), "setters do not rebuild");
            k.initializeInternalData();
            assertTrue(k.getAnalyticBeamVelocity() < velocity);
        }
    }

    @Test
    void cavityQuantitiesOfTheLastRebuild() {
        try (Klystron k = twoCavityTube()) {
            assertThrows(IndexOutOfBoundsException.class, () -> k.getAnalyticGb(0), "no cavity objects yet");
            k.initializeInternalData();
            for (int i = 0; i < 2; ++i) {
                assertEquals(k.getCavityFieldZMax(i) - k.getCavityFieldZMin(i), k.getCavityFieldWidth(i));
                assertEquals(1 / (k.getRQ(i) * k.getAnalyticGb(i)), k.getAnalyticQb(i), 1e-9 * k.getAnalyticQb(i));
                assertTrue(k.getAnalyticGapImpedance(i) > 0);
                assertTrue(k.getAnalyticBb(i) != 0);
            }
            // Gaussian cavity 0: peak alpha / sqrt(pi) at the gap centre, alpha = 0.5 betaE / sqrt(ln(1 / M)).
            double alpha = 0.5 * k.getAnalyticBetaE() / Math.sqrt(Math.log(1 / 0.82));
            assertEquals(alpha / Math.sqrt(Math.PI), k.getCavityField(0, 0.0), 1e-12 * alpha);
            assertEquals(Math.sqrt(Math.log(1e5)) / alpha, k.getCavityFieldZMax(0), 1e-14);
            // File cavity 1: the file's z from -4 cm to 4 cm, centred on the gap; zero outside.
            assertEquals(0.44, k.getCavityFieldZMin(1), 1e-15);
            assertEquals(0.08, k.getCavityFieldWidth(1), 1e-15);
            assertTrue(k.getCavityField(1, 0.48) > 0);
            assertEquals(0.0, k.getCavityField(1, 0.44));
            assertEquals(0.0, k.getCavityField(1, 0.6));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getCavityField(2, 0.0));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getAnalyticGapImpedance(-1));
        }
    }

    @Test
    void fieldFileCouplingIsWrittenBackAndStable() {
        try (Klystron k = twoCavityTube()) {
            k.initializeInternalData();
            double m = k.getM(1);
            assertNotEquals(0.80, m);
            assertTrue(m > 0.5 && m < 1, "M " + m);
            assertEquals(0.82, k.getM(0), "a Gaussian cavity keeps its M");
            assertEquals(0.48, k.getZ(1));
            k.initializeInternalData();
            assertEquals(m, k.getM(1), 4 * Math.ulp(m));
        }
    }

    @Test
    void failedRebuildThrowsAndChangesNothing(@TempDir Path dir) throws IOException {
        try (Klystron k = twoCavityTube()) {
            k.initializeInternalData();
            double m = k.getM(1);
            double velocity = k.getAnalyticBeamVelocity();
            double gb = k.getAnalyticGb(1);
            k.setBeamVoltage(90000);
            k.addCavity(100, 0.7, 30, 2500, 2.856e9, 0.9, 0.01, 1);

            Path missing = dir.resolve("missing.txt");
            k.loadCavityField(1, missing.toString(), 0.0, 4);
            RuntimeException e = assertThrows(RuntimeException.class, k::initializeInternalData);
            assertTrue(e.getMessage().contains("cavity 1: field file '" + missing + "': cannot be opened"),
                    e.getMessage());

            Path bad = dir.resolve("bad.txt");
            Files.write(bad, List.of("Number of Z increments: 2 X", "(cm)", "0 0 1 0 0 0", "0.1 0 Ez 0 0 0"));
            k.loadCavityField(1, bad.toString(), 0.0, 4);
            e = assertThrows(RuntimeException.class, k::initializeInternalData);
            assertTrue(e.getMessage().contains("field file '" + bad + "' line 4: expected the axial field"),
                    e.getMessage());

            Files.write(bad, List.of("Number of Z and R increments: 2 -1", "", "", "(cm)"));
            e = assertThrows(RuntimeException.class, k::initializeInternalData);
            assertTrue(e.getMessage().contains("line 1: the number of radial increments is negative"), e.getMessage());

            k.loadCavityField(1, DATA + "/gap-field-radial.txt", 0.0, 51);
            IllegalArgumentException rings = assertThrows(IllegalArgumentException.class, k::initializeInternalData);
            assertTrue(rings.getMessage().contains("cavity 1: field ring count 51"), rings.getMessage());

            assertEquals(m, k.getM(1));
            assertEquals(0.7, k.getM(2));
            assertEquals(velocity, k.getAnalyticBeamVelocity());
            assertEquals(gb, k.getAnalyticGb(1));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getAnalyticGb(2), "still two cavity objects");

            k.loadCavityField(1, DATA + "/gap-field-radial.txt", 0.0, 50);
            k.initializeInternalData();
            assertTrue(k.getAnalyticGb(2) > 0);
        }
    }
}
