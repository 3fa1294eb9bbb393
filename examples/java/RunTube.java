import quenvar.klystron.Klystron;

/** Runs a four-cavity S-band tube with a second-harmonic cavity through both models and prints their gains. */
public class RunTube {
    public static void main(String[] args) {
        try (Klystron tube = new Klystron()) {
            // V, A, Hz, W, then the tube and beam radius [m]
            tube.setOperatingParameters(110000, 90, 2.856e9, 60, 0.0095, 0.0062);
            //            rq    m     qe       qo    frequency zCenter gap    harmonic
            tube.addCavity(110, 0.82, 300,    2500, 2.856e9, 0.00,   0.010, 1);
            tube.addCavity(110, 0.82, 100000, 2500, 2.870e9, 0.12,   0.010, 1);
            tube.addCavity(60,  0.70, 100000, 2500, 5.750e9, 0.30,   0.008, 2);
            tube.addCavity(100, 0.80, 25,     2500, 2.856e9, 0.48,   0.012, 1);

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
