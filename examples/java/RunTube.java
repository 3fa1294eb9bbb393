import quenvar.klystron.Klystron;

/** Runs the six-cavity S-band tube of the examples (sband-round.json) through both models and prints their gains. */
public class RunTube {
    public static void main(String[] args) {
        try (Klystron tube = new Klystron()) {
            // V, A, Hz, W, then the tube and beam radius [m]
            tube.setOperatingParameters(120000, 42, 2.856e9, 21.25, 0.0095, 0.0060);
            //            rq    m     qe       qo    frequency zCenter gap    harmonic
            tube.addCavity(100, 0.80, 250,    3000, 2.856e9, 0.00,   0.010, 1);
            tube.addCavity(100, 0.80, 100000, 3000, 2.900e9, 0.15,   0.010, 1);
            tube.addCavity(100, 0.80, 100000, 3000, 2.876e9, 0.30,   0.010, 1);
            tube.addCavity(50,  0.70, 100000, 3000, 5.550e9, 0.36,   0.008, 2);
            tube.addCavity(100, 0.80, 100000, 3000, 2.900e9, 0.53,   0.008, 1);
            tube.addCavity(100, 0.80, 34,     3000, 2.856e9, 0.61,   0.012, 1);

            tube.calculateAnalytics();
            System.out.printf("analytic:  gain %.3f dB, output power %.1f kW%n", tube.getAnalyticGain(),
                    tube.getAnalyticOutputPower() / 1e3);

            tube.simulate(32, 4, 40, 50);  // disks, rings, time steps per period, pass limit
            System.out.printf("simulated: gain %.3f dB, output power %.1f kW after %d passes%n",
                    tube.getSimulatedGain(), tube.getSimulatedOutputPower() / 1e3, tube.getSimulatedIterations());
            for (int i = 0; i < tube.getCavityCount(); i++) {
                System.out.printf("cavity %d: %.2f kV analytic, %.2f kV simulated%n", i,
                        tube.getAnalyticCavityVoltage(i) / 1e3, tube.getSimulatedCavityVoltage(i) / 1e3);
            }
        }
    }
}
