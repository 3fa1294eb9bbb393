package quenvar.klystron;

/**
 * A klystron design: the operating point, the beam and drift-tube geometry and
 * the cavities of one tube, with the two calculations of the native engine.
 *
 * <p>Each object owns one native model, created by the constructor and released
 * by {@link #close()}; use it in a try-with-resources block. Units are SI
 * throughout (V, A, Hz, W, m), angles in radians, gains in dB.
 *
 * <p>Errors: a call on an object whose model was released throws
 * {@link IllegalStateException}; a cavity index outside 0 to
 * {@code getCavityCount() - 1} throws {@link IndexOutOfBoundsException}; an
 * exhausted native memory throws {@link OutOfMemoryError}.
 *
 * <p>One object must not be used from two threads at the same time; distinct
 * objects are independent.
 */
public class Klystron implements AutoCloseable {
    static {
        String path = System.getProperty("quenvar.klystron.library");
        if (path != null && !path.isEmpty()) {
            System.load(path);
        } else {
            System.loadLibrary("klystron");
        }
    }

    /** Address of the native model; 0 when the object has none. */
    private long cppInstancePointer;

    /** Creates the object with a new native model (no cavities, all values 0, round beam). */
    public Klystron() {
        newKlystron();
    }

    /** Releases the native model; later calls throw {@link IllegalStateException}. Calling it again does nothing. */
    @Override
    public void close() {
        deleteKlystron();
    }

    // ---- Lifecycle ------------------------------------------------------------

    /** Creates a new native model for this object, releasing the one it had. */
    public native void newKlystron();

    /** Releases the native model; does nothing when there is none. */
    public native void deleteKlystron();

    // ---- Operating point and geometry -----------------------------------------

    /** Operating point with a round beam in a round drift tube; zeroes the sheet dimensions. */
    public native void setOperatingParameters(double voltage, double current, double frequency, double inputPower,
            double tubeRadius, double beamRadius);

    /** Operating point with a sheet beam in a rectangular drift tube; zeroes the two radii. */
    public native void setOperatingParameters(double voltage, double current, double frequency, double inputPower,
            double beamWidth, double beamHeight, double tubeWidth, double tubeHeight);

    public native void setBeamVoltage(double voltage);

    public native void setBeamCurrent(double current);

    /** Operating (drive) frequency, Hz. */
    public native void setFrequency(double frequency);

    /** Drive power, W. */
    public native void setInputPower(double inputPower);

    public native void setTubeRadius(double tubeRadius);

    public native void setBeamRadius(double beamRadius);

    public native void setTubeWidth(double tubeWidth);

    public native void setBeamWidth(double beamWidth);

    public native void setTubeHeight(double tubeHeight);

    public native void setBeamHeight(double beamHeight);

    public native void setRoundBeam(boolean roundBeam);

    public native double getBeamVoltage();

    public native double getBeamCurrent();

    public native double getOperatingFrequency();

    public native double getInputPower();

    public native double getTubeRadius();

    public native double getBeamRadius();

    public native double getTubeWidth();

    public native double getTubeHeight();

    public native double getBeamWidth();

    public native double getBeamHeight();

    public native boolean isRoundBeam();

    // ---- Cavity list ------------------------------------------------------------

    /** Appends a cavity; a harmonic of 0 adds nothing. A Qe of 90000 or more means no external load. */
    public native void addCavity(double rq, double m, double qe, double qo, double frequency, double zCenter,
            double gapWidth, int harmonic);

    /** Removes the last cavity; does nothing when there is none. */
    public native void deleteLastCavity();

    public native void deleteAllCavities();

    /**
     * Takes the cavity's gap field from a field-profile file, tabulated at {@code rings} radial positions. The
     * file is read at every rebuild; the double carries no meaning.
     */
    public native void loadCavityField(int cavity, String fileName, double ignored, int rings);

    public native int getCavityCount();

    public native void setCavityZCenter(int cavity, double zCenter);

    public native void setCavityFrequency(int cavity, double frequency);

    public native void setCavityM(int cavity, double m);

    public native void setCavityGapWidth(int cavity, double gapWidth);

    public native void setCavityRQ(int cavity, double rq);

    public native void setCavityQe(int cavity, double qe);

    public native void setCavityQo(int cavity, double qo);

    public native void setCavityHarmonic(int cavity, int harmonic);

    public native double getZ(int cavity);

    public native double getFrequency(int cavity);

    public native double getM(int cavity);

    public native double getGapWidth(int cavity);

    public native double getRQ(int cavity);

    public native double getQe(int cavity);

    public native double getQo(int cavity);

    public native int getHarmonic(int cavity);

    // ---- Analytic small-signal model -------------------------------------------------

    /**
     * Rebuilds the beam and cavity objects and runs the small-signal model. Throws
     * {@link IllegalArgumentException} for a tube with no cavity or more than 20; a failed run keeps the
     * previous results.
     */
    public native void calculateAnalytics();

    /**
     * I1/I0 along the tube, from the first to the last gap, in 200 samples; every cavity position is restored.
     * Throws {@link IllegalStateException} without an earlier {@link #calculateAnalytics()} on the same cavity
     * list.
     */
    public native void calculateAnalyticI1I0();

    /** Gain of the last cavity's output, dB. */
    public native double getAnalyticGain();

    /** Power into the last cavity's load, W. */
    public native double getAnalyticOutputPower();

    /** Power into the loads of every externally loaded cavity after the first (Qe below 90000), W. */
    public native double getAnalyticMultipleOutputPower();

    public native double getAnalyticMultipleOutputGain();

    public native double getAnalyticMultipleOutputCircuitEfficiency();

    public native double getAnalyticMultipleOutputElectronicEfficiency();

    public native double getAnalyticMultipleOutputTotalEfficiency();

    /** Gap voltage magnitude of cavity 0 to 19, V; {@link IndexOutOfBoundsException} outside. */
    public native double getAnalyticCavityVoltage(int cavity);

    /** Gap voltage phase relative to the input gap, in (-pi, pi], rad. */
    public native double getAnalyticCavityVoltagePhase(int cavity);

    /** I1/I0 at z (m), interpolated in the last sweep; 0 outside it or before any sweep. */
    public native double getAnalyticI1I0(double z);

    // ---- Beam and cavity quantities of the last rebuild -----------------------------

    /**
     * Rebuilds the beam and the cavity objects from the stored parameters, reading every named field file; a
     * cavity with a field file then reports the coupling coefficient of its profile through {@link #getM(int)}.
     * Both calculations rebuild first, so this is needed only to read the quantities below without a run. A
     * field file that cannot be opened or parsed throws {@link RuntimeException} naming the cavity, the file, the
     * line and the problem; a field ring count outside 1 to 50 throws {@link IllegalArgumentException}. A failed
     * rebuild leaves the beam, the cavity objects and the M values as they were.
     */
    public native void initializeInternalData();

    /** Beam velocity, m/s; 0 before the first rebuild, like the other beam quantities. */
    public native double getAnalyticBeamVelocity();

    /** Beam voltage less the space-charge depression, V. */
    public native double getAnalyticDepressedBeamVoltage();

    /** Plasma wavelength, m. */
    public native double getAnalyticPlasmaWavelength();

    /** Reduced plasma wavelength, m. */
    public native double getAnalyticReducedPlasmaWavelength();

    /** Radial propagation constant times the tube radius (sheet beam: times half the tube height). */
    public native double getAnalyticGammaA();

    /** Radial propagation constant times the beam radius (sheet beam: times half the beam height). */
    public native double getAnalyticGammaB();

    /** Relativistic factor of the beam. */
    public native double getAnalyticSigma();

    /** Electronic wavelength of the drive frequency, m. */
    public native double getAnalyticRFWavelength();

    /** Electronic propagation constant, rad/m. */
    public native double getAnalyticBetaE();

    /** Radial propagation constant, 1/m. */
    public native double getAnalyticGamma();

    /**
     * Magnitude of the gap impedance with beam loading, ohm. This and the other cavity-object methods read the
     * cavities of the last rebuild; an index outside them throws {@link IndexOutOfBoundsException}.
     */
    public native double getAnalyticGapImpedance(int cavity);

    /** Beam-loading Q. */
    public native double getAnalyticQb(int cavity);

    /** Beam-loading susceptance, S. */
    public native double getAnalyticBb(int cavity);

    /** Beam-loading conductance, S. */
    public native double getAnalyticGb(int cavity);

    /** Start of the gap field, m. */
    public native double getCavityFieldZMin(int cavity);

    /** End of the gap field, m. */
    public native double getCavityFieldZMax(int cavity);

    /** Axial extent of the gap field, m. */
    public native double getCavityFieldWidth(int cavity);

    /** Normalised axial field shape at z (m) on the innermost ring, 1/m. */
    public native double getCavityField(int cavity, double z);

    // ---- Disk simulation ----------------------------------------------------------

    /**
     * Settings of the following {@link #simulate} runs: whether they start from the beam in the beam file
     * {@code fileName} (one velocity and arrival time per disk; a name of any length), and whether the imported
     * disks are placed relative to {@code injectionPosition} (m) instead of the start position the file gives.
     * Reads no file.
     */
    public native void importBeam(boolean useImportedBeam, String fileName, boolean useGivenInjectionPosition,
            double injectionPosition);

    /**
     * Rebuilds the beam and cavity objects and runs the large-signal disk simulation with {@code disks} disks per
     * RF period, {@code rings} rings per disk, {@code steps} time steps per RF period and at most
     * {@code maxIterations} passes. Throws {@link IllegalArgumentException} naming the value for disks, steps or
     * maxIterations below 1, rings outside 1 to 20, no cavity or more than 20, a cavity harmonic of 0 or beyond
     * +-4, a cavity whose field file is tabulated for fewer rings than the run uses, an imported beam file with
     * fewer rows than disks, or counts whose trajectory tables would not fit in memory; {@link RuntimeException}
     * with the reader's message for a beam file that cannot be read. A refused or failed run keeps the previous
     * results.
     */
    public native void simulate(int disks, int rings, int steps, int maxIterations);

    /** Disks per RF period of the last simulation; 0 before any, like the other counts. */
    public native int getDisks();

    /** Rings per disk. */
    public native int getRings();

    /** Time steps per RF period. */
    public native int getSteps();

    /** Iteration limit. */
    public native int getMaxIterations();

    /** Passes the last simulation made. */
    public native int getSimulatedIterations();

    /** Time steps of one pass: the step dimension of the trajectories. */
    public native int getSimulatedMaxTimeStep();

    /** Gain of the last cavity's output, dB. */
    public native double getSimulatedGain();

    /** Power into the last cavity's load, W. */
    public native double getSimulatedOutputPower();

    /** Power the beam gives the last gap over the beam power. */
    public native double getSimulatedElectronicEfficiency();

    /** Share of the beam's kinetic energy lost across the last cavity's field. */
    public native double getSimulatedKineticEfficiency();

    /** Electronic times circuit efficiency. */
    public native double getSimulatedTotalEfficiency();

    /** Circuit efficiency Qo / (Qo + Qe) of the last cavity, set by {@link #simulate} (not by the analytic run). */
    public native double getAnalyticCircuitEfficiency();

    /** Power into the loads of every externally loaded cavity after the first (Qe below 90000), W. */
    public native double getSimulatedMultipleOutputPower();

    public native double getSimulatedMultipleOutputGain();

    public native double getSimulatedMultipleOutputCircuitEfficiency();

    public native double getSimulatedMultipleOutputElectronicEfficiency();

    public native double getSimulatedMultipleOutputTotalEfficiency();

    /** Beam-loading conductance of the input gap, S. */
    public native double getSimulatedGb1();

    /** Beam-loading susceptance of the input gap, S. */
    public native double getSimulatedBb1();

    /** Largest I1/I0 along the tube. */
    public native double getSimulatedMaxI1I0();

    /** Its position, m. */
    public native double getSimulatedMaxI1I0ZLocation();

    /** Smallest v/c the innermost ring reached in the last pass. */
    public native double getSimulatedMinVOverC();

    /** Its position, m. */
    public native double getSimulatedMinVOverCLocation();

    /** Whether a disk stopped or turned back in the last pass. */
    public native boolean isDiskReflected();

    /** Whether the field of some cavity begins before the field of the cavity before it ends. */
    public native boolean isFieldOverlapping();

    /** Gap voltage magnitude of cavity 0 to 19, V; {@link IndexOutOfBoundsException} outside. */
    public native double getSimulatedCavityVoltage(int cavity);

    /** Gap voltage phase, rad. */
    public native double getSimulatedCavityVoltagePhase(int cavity);

    /** Magnitude of harmonic 0 to 4 of the current induced in the cavity, A. */
    public native double getSimulatedCavityCurrentMagnitude(int cavity, int harmonic);

    /** Its phase, rad. */
    public native double getSimulatedCavityCurrentPhase(int cavity, int harmonic);

    /** I1/I0 at z (m), interpolated in the simulated 200-point profile; 0 outside it. */
    public native double getSimulatedI1I0(double z);

    /** Phase of the fundamental current at z, interpolated without unwrapping, rad. */
    public native double getSimulatedI1I0Phase(double z);

    /** I2/I0 at z, interpolated. */
    public native double getSimulatedI2I0(double z);

    /**
     * Axial position of the ring of the disk at the time step of the last pass, m. This and the other disk
     * getters throw {@link IllegalStateException} before any simulation and {@link IndexOutOfBoundsException}
     * for a disk, ring or step outside the counts of the last one.
     */
    public native double getSimulatedDiskPosition(int disk, int ring, int step);

    /** Axial velocity, m/s. */
    public native double getSimulatedDiskVelocity(int disk, int ring, int step);

    /**
     * Velocity of the ring of the disk as it crossed the end of the last cavity's field, m/s; 0 if it never did.
     * The first argument is ignored.
     */
    public native double getSimulatedExitVelocity(int ignored, int disk, int ring);

    /** Velocity at the position of the smallest v/c, m/s; 0 if the ring never crossed it. */
    public native double getVelocityAtMinimumBeta(int disk, int ring);

    // ---- Constants ----------------------------------------------------------------

    /** 299792458 m/s. */
    public native double getSpeedOfLight();
}
