import quenvar.klystron.Klystron;

/** Sets up a four-cavity S-band tube through the Java class and prints what the model holds. */
public class DescribeTube {
    public static void main(String[] args) {
        try (Klystron tube = new Klystron()) {
            tube.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
            //            rq    m     qe       qo    frequency zCenter gap   harmonic
            tube.addCavity(110, 0.82, 300,    2500, 2.856e9, 0.00, 0.010, 1);
            tube.addCavity(110, 0.82, 100000, 2500, 2.870e9, 0.12, 0.010, 1);
            tube.addCavity(60,  0.70, 100000, 2500, 5.750e9, 0.30, 0.008, 2);
            tube.addCavity(100, 0.80, 25,     2500, 2.856e9, 0.48, 0.012, 1);
            System.out.printf("beam %.0f V, %.1f A at %.4g Hz, drive %.1f W, %s beam%n", tube.getBeamVoltage(),
                    tube.getBeamCurrent(), tube.getOperatingFrequency(), tube.getInputPower(),
                    tube.isRoundBeam() ? "round" : "sheet");
            for (int i = 0; i < tube.getCavityCount(); i++) {
                System.out.printf("cavity %d: z %.3f m, f %.4g Hz, R/Q %.0f, Qe %.0f, Qo %.0f, M %.2f, harmonic %d%n", i,
                        tube.getZ(i), tube.getFrequency(i), tube.getRQ(i), tube.getQe(i), tube.getQo(i), tube.getM(i),
                        tube.getHarmonic(i));
            }
        }
    }
}
