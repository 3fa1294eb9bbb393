package quenvar.klystron;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertThrows;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.Test;

class KlystronParametersTest {

    @Test
    void newModelReadsZeroRoundBeamNoCavities() {
        try (Klystron k = new Klystron()) {
            assertEquals(0, k.getCavityCount());
            assertTrue(k.isRoundBeam());
            double[] values = {k.getBeamVoltage(), k.getBeamCurrent(), k.getOperatingFrequency(), k.getInputPower(),
                k.getTubeRadius(), k.getBeamRadius(), k.getTubeWidth(), k.getTubeHeight(), k.getBeamWidth(),
                k.getBeamHeight()};
            for (double v : values) {
                assertEquals(0.0, v);
            }
            assertEquals(299792458.0, k.getSpeedOfLight());
        }
    }

    @Test
    void singleSettersReadBackExactly() {
        try (Klystron k = new Klystron()) {
            k.setBeamVoltage(110000.5);
            k.setBeamCurrent(90.25);
            k.setFrequency(2.856e9);
            k.setInputPower(60.125);
            k.setTubeRadius(0.0095);
            k.setBeamRadius(0.0062);
            k.setTubeWidth(0.03);
            k.setBeamWidth(0.02);
            k.setTubeHeight(0.008);
            k.setBeamHeight(0.004);
            assertEquals(110000.5, k.getBeamVoltage());
            assertEquals(90.25, k.getBeamCurrent());
            assertEquals(2.856e9, k.getOperatingFrequency());
            assertEquals(60.125, k.getInputPower());
            assertEquals(0.0095, k.getTubeRadius());
            assertEquals(0.0062, k.getBeamRadius());
            assertEquals(0.03, k.getTubeWidth());
            assertEquals(0.02, k.getBeamWidth());
            assertEquals(0.008, k.getTubeHeight());
            assertEquals(0.004, k.getBeamHeight());
            assertTrue(k.isRoundBeam(), "single setters leave the geometry flag alone");
            k.setRoundBeam(false);
            assertFalse(k.isRoundBeam());
            assertEquals(0.0062, k.getBeamRadius());
            k.setBeamVoltage(Double.NaN);
            k.setBeamCurrent(Double.NEGATIVE_INFINITY);
            assertTrue(Double.isNaN(k.getBeamVoltage()));
            assertEquals(Double.NEGATIVE_INFINITY, k.getBeamCurrent());
        }
    }

    @Test
    void bothFormsOfSetOperatingParameters() {
        try (Klystron k = new Klystron()) {
            k.setOperatingParameters(1, 2, 3, 4, 5, 6, 7, 8);
            assertFalse(k.isRoundBeam());
            assertEquals(1.0, k.getBeamVoltage());
            assertEquals(2.0, k.getBeamCurrent());
            assertEquals(3.0, k.getOperatingFrequency());
            assertEquals(4.0, k.getInputPower());
            assertEquals(5.0, k.getBeamWidth());
            assertEquals(6.0, k.getBeamHeight());
            assertEquals(7.0, k.getTubeWidth());
            assertEquals(8.0, k.getTubeHeight());
            assertEquals(0.0, k.getTubeRadius());
            assertEquals(0.0, k.getBeamRadius());

            k.setOperatingParameters(10, 20, 30, 40, 50, 60);
            assertTrue(k.isRoundBeam());
            assertEquals(10.0, k.getBeamVoltage());
            assertEquals(20.0, k.getBeamCurrent());
            assertEquals(30.0, k.getOperatingFrequency());
            assertEquals(40.0, k.getInputPower());
            assertEquals(50.0, k.getTubeRadius());
            assertEquals(60.0, k.getBeamRadius());
            assertEquals(0.0, k.getBeamWidth());
            assertEquals(0.0, k.getBeamHeight());
            assertEquals(0.0, k.getTubeWidth());
            assertEquals(0.0, k.getTubeHeight());

            k.setOperatingParameters(1, 2, 3, 4, 5, 6, 7, 8);
            assertEquals(0.0, k.getTubeRadius());
            assertEquals(0.0, k.getBeamRadius());
        }
    }

    @Test
    void addCavityMapsEveryArgumentToItsGetter() {
        try (Klystron k = new Klystron()) {
            // rq, m, qe, qo, frequency, zCenter, gapWidth, harmonic: all distinct
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.12, 0.010, 1);
            k.addCavity(60.0, 0.70, 100000.0, 2400.0, 5.75e9, 0.30, 0.008, -2);
            assertEquals(2, k.getCavityCount());
            assertEquals(110.0, k.getRQ(0));
            assertEquals(0.82, k.getM(0));
            assertEquals(300.0, k.getQe(0));
            assertEquals(2500.0, k.getQo(0));
            assertEquals(2.856e9, k.getFrequency(0));
            assertEquals(0.12, k.getZ(0));
            assertEquals(0.010, k.getGapWidth(0));
            assertEquals(1, k.getHarmonic(0));
            assertEquals(60.0, k.getRQ(1));
            assertEquals(-2, k.getHarmonic(1));
            assertEquals(5.75e9, k.getFrequency(1));
        }
    }

    @Test
    void perCavitySettersReadBackExactly() {
        try (Klystron k = new Klystron()) {
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.0, 0.010, 1);
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.1, 0.010, 1);
            k.setCavityZCenter(1, 0.48);
            k.setCavityFrequency(1, 2.86e9);
            k.setCavityM(1, 0.8);
            k.setCavityGapWidth(1, 0.012);
            k.setCavityRQ(1, 100.0);
            k.setCavityQe(1, 25.0);
            k.setCavityQo(1, 2600.0);
            k.setCavityHarmonic(1, 3);
            assertEquals(0.48, k.getZ(1));
            assertEquals(2.86e9, k.getFrequency(1));
            assertEquals(0.8, k.getM(1));
            assertEquals(0.012, k.getGapWidth(1));
            assertEquals(100.0, k.getRQ(1));
            assertEquals(25.0, k.getQe(1));
            assertEquals(2600.0, k.getQo(1));
            assertEquals(3, k.getHarmonic(1));
            assertEquals(0.0, k.getZ(0));
            assertEquals(300.0, k.getQe(0));
        }
    }

    @Test
    void harmonicZeroAddsNothing() {
        try (Klystron k = new Klystron()) {
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.0, 0.010, 0);
            assertEquals(0, k.getCavityCount());
        }
    }

    @Test
    void deleteLastAndDeleteAll() {
        try (Klystron k = new Klystron()) {
            k.deleteLastCavity(); // nothing to delete: no effect
            assertEquals(0, k.getCavityCount());
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.0, 0.010, 1);
            k.addCavity(100.0, 0.80, 25.0, 2500.0, 2.856e9, 0.4, 0.012, 1);
            k.loadCavityField(0, "gap.txt", 0.0, 5);
            k.deleteLastCavity();
            assertEquals(1, k.getCavityCount());
            assertEquals(110.0, k.getRQ(0));
            k.deleteAllCavities();
            assertEquals(0, k.getCavityCount());
            k.addCavity(90.0, 0.75, 200.0, 2000.0, 2.9e9, 0.2, 0.011, 1);
            assertEquals(1, k.getCavityCount());
            assertEquals(90.0, k.getRQ(0));
            assertEquals(0.2, k.getZ(0));
        }
    }

    @Test
    void cavityIndexOutsideTheListThrowsNamingIndexAndCount() {
        try (Klystron k = new Klystron()) {
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.0, 0.010, 1);
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.1, 0.010, 1);
            for (int bad : new int[] {-1, 2, 17, Integer.MAX_VALUE, Integer.MIN_VALUE}) {
                IndexOutOfBoundsException e = assertThrows(IndexOutOfBoundsException.class, () -> k.getZ(bad));
                assertTrue(e.getMessage().contains(Integer.toString(bad)), e.getMessage());
                assertTrue(e.getMessage().contains("2 cavities"), e.getMessage());
            }
            assertThrows(IndexOutOfBoundsException.class, () -> k.setCavityQe(2, 1.0));
            assertThrows(IndexOutOfBoundsException.class, () -> k.setCavityHarmonic(-1, 1));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getHarmonic(2));
            assertThrows(IndexOutOfBoundsException.class, () -> k.getQo(-5));
            assertThrows(IndexOutOfBoundsException.class, () -> k.loadCavityField(2, "x.txt", 0, 1));
            assertEquals(2, k.getCavityCount());
            assertEquals(0.1, k.getZ(1));
        }
    }

    @Test
    void fileNamesOfAnyLengthAndCharacterSet() {
        try (Klystron k = new Klystron()) {
            k.addCavity(110.0, 0.82, 300.0, 2500.0, 2.856e9, 0.0, 0.010, 1);
            // Names around and far beyond 123 bytes, and outside ASCII, must reach the model intact;
            // a failing rebuild later names the file, so the name is checked there.
            for (int length : new int[] {1, 122, 123, 124, 125, 200, 4096, 70000}) {
                String name = "d/".repeat(length / 2) + "f".repeat(length % 2 + 1);
                k.loadCavityField(0, name, 0.0, 2);
            }
            k.loadCavityField(0, "Feld-\u00e4\u00f6\u00fc-\u03a9.txt", 0.0, 1);
            assertEquals(1, k.getCavityCount());
        }
    }
}
