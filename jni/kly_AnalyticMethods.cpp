// Native methods of quenvar.klystron.Klystron: the analytic small-signal runs
// and their results.

#include "jni/kly_JniSupport.h"
#include "quenvar_klystron_Klystron.h"

using kly_jni::call;

extern "C" {

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_calculateAnalytics(JNIEnv* env, jobject self) {
  call(env, self, [](kly_Instance& in) { in.analytic.calculateAnalytics(in.klystron); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_calculateAnalyticI1I0(JNIEnv* env, jobject self) {
  call(env, self, [](kly_Instance& in) { in.analytic.calculateAnalyticI1I0(in.klystron); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticGain(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getGain(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticOutputPower(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getOutputPower(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticMultipleOutputPower(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getMultipleOutputPower(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticMultipleOutputGain(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getMultipleOutputGain(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticMultipleOutputCircuitEfficiency(JNIEnv* env,
                                                                                                    jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getMultipleOutputCircuitEfficiency(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticMultipleOutputElectronicEfficiency(JNIEnv* env,
                                                                                                       jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getMultipleOutputElectronicEfficiency(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticMultipleOutputTotalEfficiency(JNIEnv* env,
                                                                                                  jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.analytic.getMultipleOutputTotalEfficiency(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticCavityVoltage(JNIEnv* env, jobject self,
                                                                                  jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.analytic.getCavityVoltage(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticCavityVoltagePhase(JNIEnv* env, jobject self,
                                                                                       jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.analytic.getCavityVoltagePhase(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getAnalyticI1I0(JNIEnv* env, jobject self, jdouble z) {
  return call(env, self, [&](kly_Instance& in) { return in.analytic.getAnalyticI1I0(z); });
}

}  // extern "C"
