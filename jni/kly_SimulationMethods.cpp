// Native methods of quenvar.klystron.Klystron: the disk simulation runs and
// their results.

#include "jni/kly_JniSupport.h"
#include "quenvar_klystron_Klystron.h"

using kly_jni::call;
using kly_jni::toJboolean;

extern "C" {

// ---- Runs ----------------------------------------------------------------------

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_importBeam(JNIEnv* env, jobject self, jboolean useImportedBeam,
                                                                 jstring fileName, jboolean useGivenInjectionPosition,
                                                                 jdouble injectionPosition) {
  call(env, self, [&](kly_Instance& in) {
    in.simulation.importBeam(useImportedBeam != JNI_FALSE, kly_jni::toStdString(env, fileName, "fileName"),
                             useGivenInjectionPosition != JNI_FALSE, injectionPosition);
  });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_simulate(JNIEnv* env, jobject self, jint disks, jint rings,
                                                               jint steps, jint maxIterations) {
  call(env, self, [&](kly_Instance& in) { in.simulation.simulate(in.klystron, disks, rings, steps, maxIterations); });
}

// ---- Counts and scalar results -------------------------------------------------

#define KLY_SIMULATION_GETTER(Type, Method, accessor)                                                     \
  JNIEXPORT Type JNICALL Java_quenvar_klystron_Klystron_##Method(JNIEnv* env, jobject self) {             \
    return call(env, self, [](kly_Instance& in) { return static_cast<Type>(in.simulation.accessor()); }); \
  }

KLY_SIMULATION_GETTER(jint, getDisks, getDisks)
KLY_SIMULATION_GETTER(jint, getRings, getRings)
KLY_SIMULATION_GETTER(jint, getSteps, getSteps)
KLY_SIMULATION_GETTER(jint, getMaxIterations, getMaxIterations)
KLY_SIMULATION_GETTER(jint, getSimulatedIterations, getSimulatedIterations)
KLY_SIMULATION_GETTER(jint, getSimulatedMaxTimeStep, getSimulatedMaxTimeStep)
KLY_SIMULATION_GETTER(jdouble, getSimulatedGain, getSimulatedGain)
KLY_SIMULATION_GETTER(jdouble, getSimulatedOutputPower, getSimulatedOutputPower)
KLY_SIMULATION_GETTER(jdouble, getSimulatedElectronicEfficiency, getSimulatedElectronicEfficiency)
KLY_SIMULATION_GETTER(jdouble, getSimulatedKineticEfficiency, getSimulatedKineticEfficiency)
KLY_SIMULATION_GETTER(jdouble, getSimulatedTotalEfficiency, getSimulatedTotalEfficiency)
// Despite its name, the circuit efficiency the simulation computes.
KLY_SIMULATION_GETTER(jdouble, getAnalyticCircuitEfficiency, getSimulatedCircuitEfficiency)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMultipleOutputPower, getSimulatedMultipleOutputPower)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMultipleOutputGain, getSimulatedMultipleOutputGain)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMultipleOutputCircuitEfficiency, getSimulatedMultipleOutputCircuitEfficiency)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMultipleOutputElectronicEfficiency,
                      getSimulatedMultipleOutputElectronicEfficiency)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMultipleOutputTotalEfficiency, getSimulatedMultipleOutputTotalEfficiency)
KLY_SIMULATION_GETTER(jdouble, getSimulatedGb1, getSimulatedGb1)
KLY_SIMULATION_GETTER(jdouble, getSimulatedBb1, getSimulatedBb1)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMaxI1I0, getSimulatedMaxI1I0)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMaxI1I0ZLocation, getSimulatedMaxI1I0ZLocation)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMinVOverC, getSimulatedMinVOverC)
KLY_SIMULATION_GETTER(jdouble, getSimulatedMinVOverCLocation, getSimulatedMinVOverCLocation)
#undef KLY_SIMULATION_GETTER

JNIEXPORT jboolean JNICALL Java_quenvar_klystron_Klystron_isDiskReflected(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return toJboolean(in.simulation.isDiskReflected()); });
}

JNIEXPORT jboolean JNICALL Java_quenvar_klystron_Klystron_isFieldOverlapping(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return toJboolean(in.simulation.isFieldOverlapping()); });
}

// ---- Per cavity ----------------------------------------------------------------

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedCavityVoltage(JNIEnv* env, jobject self,
                                                                                   jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedCavityVoltage(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedCavityVoltagePhase(JNIEnv* env, jobject self,
                                                                                        jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedCavityVoltagePhase(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedCavityCurrentMagnitude(JNIEnv* env, jobject self,
                                                                                            jint cavity,
                                                                                            jint harmonic) {
  return call(env, self,
              [&](kly_Instance& in) { return in.simulation.getSimulatedCavityCurrentMagnitude(cavity, harmonic); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedCavityCurrentPhase(JNIEnv* env, jobject self,
                                                                                        jint cavity, jint harmonic) {
  return call(env, self,
              [&](kly_Instance& in) { return in.simulation.getSimulatedCavityCurrentPhase(cavity, harmonic); });
}

// ---- Along z -------------------------------------------------------------------

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedI1I0(JNIEnv* env, jobject self, jdouble z) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedI1I0(z); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedI1I0Phase(JNIEnv* env, jobject self, jdouble z) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedI1I0Phase(z); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedI2I0(JNIEnv* env, jobject self, jdouble z) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedI2I0(z); });
}

// ---- Trajectories --------------------------------------------------------------

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedDiskPosition(JNIEnv* env, jobject self, jint disk,
                                                                                  jint ring, jint step) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedDiskPosition(disk, ring, step); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedDiskVelocity(JNIEnv* env, jobject self, jint disk,
                                                                                  jint ring, jint step) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedDiskVelocity(disk, ring, step); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSimulatedExitVelocity(JNIEnv* env, jobject self,
                                                                                  jint /*ignored*/, jint disk,
                                                                                  jint ring) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getSimulatedExitVelocity(disk, ring); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getVelocityAtMinimumBeta(JNIEnv* env, jobject self, jint disk,
                                                                                  jint ring) {
  return call(env, self, [&](kly_Instance& in) { return in.simulation.getVelocityAtMinimumBeta(disk, ring); });
}

}  // extern "C"
