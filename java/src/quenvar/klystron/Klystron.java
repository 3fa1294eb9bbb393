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
 * exhausted native memory throws {@link OutOfMemoryError}. Setters store any
 * value, NaN and infinities included, and the runs carry them through IEEE
 * arithmetic; the runs throw {@link IllegalArgumentException} for counts and
 * values they cannot use and {@link RuntimeException} for a field or beam file
 * that cannot be read. A null file name throws {@link NullPointerException},
 * one with a NUL character or an unpaired surrogate
 * {@link IllegalArgumentException}. A call that throws keeps the stored
 * values and the results of earlier runs as they were.
 *
 * <p>Threads: every method runs to completion on the calling thread and leaves
 * no thread running behind it. The native methods of one object are
 * {@code synchronized} on that object, so calls from several threads (a GUI's
 * event thread reading results while a worker runs {@link #simulate}) are
 * served one after the other: a getter waits for a run in progress and then
 * sees all of its results, never part of them. To read several results of the
 * same run while another thread may start the next, hold the object's monitor
 * around the reads: {@code synchronized (tube) { ... }}. Distinct objects share
 * no lock and no native state, and run at the same time.
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

    /**
     * Releases the native model; later calls throw {@link IllegalStateException}. Calling it again does nothing. A
     * run in progress on another thread is finished first.
     */
    @Override
    public void close() {
        deleteKlystron();
    }

    // ---- Lifecycle ------------------------------------------------------------

    /** Creates a new native model for this object, releasing the one it had. */
    public synchronized native void newKlystron();

    /** Releases the native model; does nothing when there is none. */
    public synchronized native void deleteKlystron();

    // ---- Operating point and geometry -----------------------------------------

    /** Operating point with a round beam in a round drift tube; zeroes the sheet dimensions. */
    public synchronized native void setOperatingParameters(double voltage, double current, double frequency,
            double inputPower, double tubeRadius, double beamRadius);

    /** Operating point with a sheet beam in a rectangular drift tube; zeroes the two radii. */
    public synchronized native void setOperatingParameters(double voltage, double current, double frequency,
            double inputPower, double beamWidth, double beamHeight, double tubeWidth, double tubeHeight);

    public synchronized native void setBeamVoltage(double voltage);

    public synchronized native void setBeamCurrent(double current);

    /** Operating (drive) frequency, Hz. */
    public synchronized native void setFrequency(double frequency);

    /** Drive power, W. */
    public synchronized native void setInputPower(double inputPower);

    public synchronized native void setTubeRadius(double tubeRadius);

    public synchronized native void setBeamRadius(double beamRadius);

    public synchronized native void setTubeWidth(double tubeWidth);

    public synchronized native void setBeamWidth(double beamWidth);

    public synchronized native void setTubeHeight(double tubeHeight);

    public synchronized native void setBeamHeight(double beamHeight);

    public synchronized native void setRoundBeam(boolean roundBeam);

    public synchronized native double getBeamVoltage();

    public synchronized native double getBeamCurrent();

    public synchronized native double getOperatingFrequency();

    public synchronized native double getInputPower();

    public synchronized native double getTubeRadius();

    public synchronized native double getBeamRadius();

    public synchronized native double getTubeWidth();

    public synchronized native double getTubeHeight();

    public synchronized native double getBeamWidth();

    public synchronized native double getBeamHeight();

    public synchronized native boolean isRoundBeam();

    // ---- Cavity list ------------------------------------------------------------

    /** Appends a cavity; a harmonic of 0 adds nothing. A Qe of 90000 or more means no external load. */
    public synchronized native void addCavity(double rq, double m, double qe, double qo, double frequency,
            double zCenter, double gapWidth, int harmonic);

    /** Removes the last cavity; does nothing when there is none. */
    public synchronized native void deleteLastCavity();

    public synchronized native void deleteAllCavities();

    /**
     * Takes the cavity's gap field from a field-profile file, tabulated at {@code rings} radial positions. The
     * file is read at every rebuild; the double carries no meaning.
     */
    public synchronized native void loadCavityField(int cavity, String fileName, double ignored, int rings);

    public synchronized native int getCavityCount();

    public synchronized native void setCavityZCenter(int cavity, double zCenter);

    public synchronized native void setCavityFrequency(int cavity, double frequency);

    public synchronized native void setCavityM(int cavity, double m);

    public synchronized native void setCavityGapWidth(int cavity, double gapWidth);

    public synchronized native void setCavityRQ(int cavity, double rq);

    public synchronized native void setCavityQe(int cavity, double qe);

    public synchronized native void setCavityQo(int cavity, double qo);

    public synchronized native void setCavityHarmonic(int cavity, int harmonic);

    public synchronized native double getZ(int cavity);

    public synchronized native double getFrequency(int cavity);

    public synchronized native double getM(int cavity);

    public synchronized native double getGapWidth(int cavity);

    public synchronized native double getRQ(int cavity);

    public synchronized native double getQe(int cavity);

    public synchronized native double getQo(int cavity);

    public synchronized native int getHarmonic(int cavity);

    // ---- Analytic small-signal model -------------------------------------------------

    /**
     * Rebuilds the beam and cavity objects and runs the small-signal model. Throws
     * {@link IllegalArgumentException} for a tube with no cavity or more than 20; a failed run keeps the
     * previous results.
     */
    public synchronized native void calculateAnalytics();

    /**
     * I1/I0 along the tube, from the first to the last gap, in 200 samples; every cavity position is restored.
     * Throws {@link IllegalStateException} without an earlier {@link #calculateAnalytics()} on the same cavity
     * list.
     */
    public synchronized native void calculateAnalyticI1I0();

    /** Gain of the last cavity's output, dB. */
    public synchronized native double getAnalyticGain();

    /** Power into the last cavity's load, W. */
    public synchronized native double getAnalyticOutputPower();

    /** Power into the loads of every externally loaded cavity after the first (Qe below 90000), W. */
    public synchronized native double getAnalyticMultipleOutputPower();

    public synchronized native double getAnalyticMultipleOutputGain();

    public synchronized native double getAnalyticMultipleOutputCircuitEfficiency();

    public synchronized native double getAnalyticMultipleOutputElectronicEfficiency();

    public synchronized native double getAnalyticMultipleOutputTotalEfficiency();

    /** Gap voltage magnitude of cavity 0 to 19, V; {@link IndexOutOfBoundsException} outside. */
    public synchronized native double getAnalyticCavityVoltage(int cavity);

    /** Gap voltage phase relative to the input gap, in (-pi, pi], rad. */
    public synchronized native double getAnalyticCavityVoltagePhase(int cavity);

    /** I1/I0 at z (m), interpolated in the last sweep; 0 outside it or before any sweep. */
    public synchronized native double getAnalyticI1I0(double z);

    // ---- Beam and cavity quantities of the last rebuild -----------------------------

    /**
     * Rebuilds the beam and the cavity objects from the stored parameters, reading every named field file; a
     * cavity with a field file then reports the coupling coefficient of its profile through {@link #getM(int)}.
     * Both calculations rebuild first, so this is needed only to read the quantities below without a run. A
     * field file that cannot be opened or parsed throws {@link RuntimeException} naming the cavity, the file, the
     * line and the problem; a field ring count outside 1 to 50 throws {@link IllegalArgumentException}. A failed
     * rebuild leaves the beam, the cavity objects and the M values as they were.
     */
    public synchronized native void initializeInternalData();

    /** Beam velocity, m/s; 0 before the first rebuild, like the other beam quantities. */
    public synchronized native double getAnalyticBeamVelocity();

    /** Beam voltage less the space-charge depression, V. */
    public synchronized native double getAnalyticDepressedBeamVoltage();

    /** Plasma wavelength, m. */
    public synchronized native double getAnalyticPlasmaWavelength();

    /** Reduced plasma wavelength, m. */
    public synchronized native double getAnalyticReducedPlasmaWavelength();

    /** Radial propagation constant times the tube radius (sheet beam: times half the tube height). */
    public synchronized native double getAnalyticGammaA();

    /** Radial propagation constant times the beam radius (sheet beam: times half the beam height). */
    public synchronized native double getAnalyticGammaB();

    /** Relativistic factor of the beam. */
    public synchronized native double getAnalyticSigma();

    /** Electronic wavelength of the drive frequency, m. */
    public synchronized native double getAnalyticRFWavelength();

    /** Electronic propagation constant, rad/m. */
    public synchronized native double getAnalyticBetaE();

    /** Radial propagation constant, 1/m. */
    public synchronized native double getAnalyticGamma();

    /**
     * Magnitude of the gap impedance with beam loading, ohm. This and the other cavity-object methods read the
     * cavities of the last rebuild; an index outside them throws {@link IndexOutOfBoundsException}.
     */
    public synchronized native double getAnalyticGapImpedance(int cavity);

    /** Beam-loading Q. */
    public synchronized native double getAnalyticQb(int cavity);

    /** Beam-loading susceptance, S. */
    public synchronized native double getAnalyticBb(int cavity);

    /** Beam-loading conductance, S. */
    public synchronized native double getAnalyticGb(int cavity);

    /** Start of the gap field, m. */
    public synchronized native double getCavityFieldZMin(int cavity);

    /** End of the gap field, m. */
    public synchronized native double getCavityFieldZMax(int cavity);

    /** Axial extent of the gap field, m. */
    public synchronized native double getCavityFieldWidth(int cavity);

    /** Normalised axial field shape at z (m) on the innermost ring, 1/m. */
    public synchronized native double getCavityField(int cavity, double z);

    // ---- Disk simulation ----------------------------------------------------------

    /**
     * Settings of the following {@link #simulate} runs: whether they start from the beam in the beam file
     * {@code fileName} (one velocity and arrival time per disk; a name of any length), and whether the imported
     * disks are placed relative to {@code injectionPosition} (m) instead of the start position the file gives.
     * Reads no file.
     */
    public synchronized native void importBeam(boolean useImportedBeam, String fileName,
            boolean useGivenInjectionPosition, double injectionPosition);

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
    public synchronized native void simulate(int disks, int rings, int steps, int maxIterations);

    /** Disks per RF period of the last simulation; 0 before any, like the other counts. */
    public synchronized native int getDisks();

    /** Rings per disk. */
    public synchronized native int getRings();

    /** Time steps per RF period. */
    public synchronized native int getSteps();

    /** Iteration limit. */
    public synchronized native int getMaxIterations();

    /** Passes the last simulation made. */
    public synchronized native int getSimulatedIterations();

    /** Time steps of one pass: the step dimension of the trajectories. */
    public synchronized native int getSimulatedMaxTimeStep();

    /** Gain of the last cavity's output, dB. */
    public synchronized native double getSimulatedGain();

    /** Power into the last cavity's load, W. */
    public synchronized native double getSimulatedOutputPower();

    /** Power the beam gives the last gap over the beam power. */
    public synchronized native double getSimulatedElectronicEfficiency();

    /** Share of the beam's kinetic energy lost across the last cavity's field. */
    public synchronized native double getSimulatedKineticEfficiency();

    /** Electronic times circuit efficiency. */
    public synchronized native double getSimulatedTotalEfficiency();

    /** Circuit efficiency Qo / (Qo + Qe) of the last cavity, set by {@link #simulate} (not by the analytic run). */
    public synchronized native double getAnalyticCircuitEfficiency();

    /** Power into the loads of every externally loaded cavity after the first (Qe below 90000), W. */
    public synchronized native double getSimulatedMultipleOutputPower();

    public synchronized native double getSimulatedMultipleOutputGain();

    public synchronized native double getSimulatedMultipleOutputCircuitEfficiency();

    public synchronized native double getSimulatedMultipleOutputElectronicEfficiency();

    public synchronized native double getSimulatedMultipleOutputTotalEfficiency();

    /** Beam-loading conductance of the input gap, S. */
    public synchronized native double getSimulatedGb1();

    /** Beam-loading susceptance of the input gap, S. */
    public synchronized native double getSimulatedBb1();

    /** Largest I1/I0 along the tube. */
    public synchronized native double getSimulatedMaxI1I0();

    /** Its position, m. */
    public synchronized native double getSimulatedMaxI1I0ZLocation();

    /** Smallest v/c the innermost ring reached in the last pass. */
    public synchronized native double getSimulatedMinVOverC();

    /** Its position, m. */
    public synchronized native double getSimulatedMinVOverCLocation();

    /** Whether a disk stopped or turned back in the last pass. */
    public synchronized native boolean isDiskReflected();

    /** Whether the field of some cavity begins before the field of the cavity before it ends. */
    public synchronized native boolean isFieldOverlapping();

    /** Gap voltage magnitude of cavity 0 to 19, V; {@link IndexOutOfBoundsException} outside. */
    public synchronized native double getSimulatedCavityVoltage(int cavity);

    /** Gap voltage phase, rad. */
    public synchronized native double getSimulatedCavityVoltagePhase(int cavity);

    /** Magnitude of harmonic 0 to 4 of the current induced in the cavity, A. */
    public synchronized native double getSimulatedCavityCurrentMagnitude(int cavity, int harmonic);

    /** Its phase, rad. */
    public synchronized native double getSimulatedCavityCurrentPhase(int cavity, int harmonic);

    /** I1/I0 at z (m), interpolated in the simulated 200-point profile; 0 outside it. */
    public synchronized native double getSimulatedI1I0(double z);

    /** Phase of the fundamental current at z, interpolated without unwrapping, rad. */
    public synchronized native double getSimulatedI1I0Phase(double z);

    /** I2/I0 at z, interpolated. */
    public synchronized native double getSimulatedI2I0(double z);

    /**
     * Axial position of the ring of the disk at the time step of the last pass, m. This and the other disk
     * getters throw {@link IllegalStateException} before any simulation and {@link IndexOutOfBoundsException}
     * for a disk, ring or step outside the counts of the last one.
     */
    public synchronized native double getSimulatedDiskPosition(int disk, int ring, int step);

    /** Axial velocity, m/s. */
    public synchronized native double getSimulatedDiskVelocity(int disk, int ring, int step);

    /**
     * Velocity of the ring of the disk as it crossed the end of the last cavity's field, m/s; 0 if it never did.
     * The first argument is ignored.
     */
    public synchronized native double getSimulatedExitVelocity(int ignored, int disk, int ring);

    /** Velocity at the position of the smallest v/c, m/s; 0 if the ring never crossed it. */
    public synchronized native double getVelocityAtMinimumBeta(int disk, int ring);

    // ---- Constants ----------------------------------------------------------------

    /** 299792458 m/s. */
    public synchronized native double getSpeedOfLight();
}
