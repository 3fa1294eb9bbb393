// Native methods of quenvar.klystron.Klystron that rebuild the tube model and
// read the beam and the cavity objects of the last rebuild. Each one looks up
// its instance, makes one call into the model and returns.

#include <complex>

#include "jni/kly_JniSupport.h"
#include "quenvar_klystron_Klystron.h"

using kly_jni::call;

extern "C" {

// ---- Rebuild -------------------------------------------------------------------

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_initializeInternalData(JNIEnv* env, jobject self) {
  call(env, self, [](kly_Instance& in) { in.klystron.initializeInternalData(); });
}

// ---- Beam quantities -----------------------------------------------------------

#define KLY_BEAM_GETTER(Method, accessor)                                                        \
  JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_##Method(JNIEnv* env, jobject self) { \
    return call(env, self, [](kly_Instance& in) { return in.klystron.getBeam().accessor(); });   \
  }

KLY_BEAM_GETTER(getAnalyticBeamVelocity, getBeamVelocity)
KLY_BEAM_GETTER(getAnalyticDepressedBeamVoltage, getDepressedBeamVoltage)
KLY_BEAM_GETTER(getAnalyticPlasmaWavelength, getPlasmaWavelength)
KLY_BEAM_GETTER(getAnalyticReducedPlasmaWavelength, getReducedPlasmaWavelength)
KLY_BEAM_GETTER(getAnalyticGammaA, getGammaA)
KLY_BEAM_GETTER(getAnalyticGammaB, getGammaB)
KLY_BEAM_GETTER(getAnalyticSigma, getSigma)
KLY_BEAM_GETTER(getAnalyticRFWavelength, getRfWavelength)
KLY_BEAM_GETTER(getAnalyticBetaE, getBetaE)
KLY_BEAM_GETTER(getAnalyticGamma, getGamma)
#undef KLY_BEAM_GETTER

// ---- Cavity-object quantities --------------------------------------------------

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticGapImpedance(JNIEnv* env, jobject self,
                                                                                 jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return std::abs(in.klystron.getCavity(cavity).getGapImpedance()); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticQb(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getCavity(cavity).getQb(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticBb(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getCavity(cavity).getBb(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticGb(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getCavity(cavity).getGb(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getCavityFieldZMin(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getCavity(cavity).getFieldZMin(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getCavityFieldZMax(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getCavity(cavity).getFieldZMax(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getCavityFieldWidth(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) {
    const kly_Cavity& c = in.klystron.getCavity(cavity);
    return c.getFieldZMax() - c.getFieldZMin();
  });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getCavityField(JNIEnv* env, jobject self, jint cavity,
                                                                        jdouble z) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getCavity(cavity).getField(z, 0); });
}

}  // extern "C"
