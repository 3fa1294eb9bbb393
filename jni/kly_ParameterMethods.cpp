// Native methods of quenvar.klystron.Klystron: the lifecycle, the operating
// point and geometry, the cavity list and the constants. Each one looks up its
// instance, converts its arguments, makes one call into the model and returns.

#include "jni/kly_JniSupport.h"
#include "klystron/core/kly_Constants.h"
#include "quenvar_klystron_Klystron.h"

#include <memory>

using kly_jni::call;
using kly_jni::guard;
using kly_jni::toJboolean;

extern "C" {

// ---- Lifecycle -----------------------------------------------------------------

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_newKlystron(JNIEnv* env, jobject self) {
  guard(env, [&] {
    auto created = std::make_unique<kly_Instance>();
    // A second newKlystron replaces the object's model; the first one is released, not leaked.
    kly_Instance* previous = kly_jni::instanceAddress(env, self);
    kly_jni::storeInstanceAddress(env, self, created.get());
    created.release();
    delete previous;
  });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_deleteKlystron(JNIEnv* env, jobject self) {
  guard(env, [&] {
    kly_Instance* instance = kly_jni::instanceAddress(env, self);
    if (instance == nullptr) return;
    kly_jni::storeInstanceAddress(env, self, nullptr);
    delete instance;
  });
}

// ---- Operating point and geometry ----------------------------------------------

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setOperatingParameters__DDDDDD(
    JNIEnv* env, jobject self, jdouble voltage, jdouble current, jdouble frequency, jdouble inputPower,
    jdouble tubeRadius, jdouble beamRadius) {
  call(env, self, [&](kly_Instance& in) {
    in.klystron.setOperatingParameters(voltage, current, frequency, inputPower, tubeRadius, beamRadius);
  });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setOperatingParameters__DDDDDDDD(
    JNIEnv* env, jobject self, jdouble voltage, jdouble current, jdouble frequency, jdouble inputPower,
    jdouble beamWidth, jdouble beamHeight, jdouble tubeWidth, jdouble tubeHeight) {
  call(env, self, [&](kly_Instance& in) {
    in.klystron.setOperatingParameters(voltage, current, frequency, inputPower, beamWidth, beamHeight, tubeWidth,
                                       tubeHeight);
  });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setBeamVoltage(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setBeamVoltage(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setBeamCurrent(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setBeamCurrent(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setFrequency(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setFrequency(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setInputPower(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setInputPower(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setTubeRadius(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setTubeRadius(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setBeamRadius(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setBeamRadius(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setTubeWidth(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setTubeWidth(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setBeamWidth(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setBeamWidth(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setTubeHeight(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setTubeHeight(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setBeamHeight(JNIEnv* env, jobject self, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setBeamHeight(v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setRoundBeam(JNIEnv* env, jobject self, jboolean v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setRoundBeam(v != JNI_FALSE); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getBeamVoltage(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getBeamVoltage(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getBeamCurrent(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getBeamCurrent(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getOperatingFrequency(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getOperatingFrequency(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getInputPower(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getInputPower(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getTubeRadius(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getTubeRadius(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getBeamRadius(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getBeamRadius(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getTubeWidth(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getTubeWidth(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getTubeHeight(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getTubeHeight(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getBeamWidth(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getBeamWidth(); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getBeamHeight(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getBeamHeight(); });
}

JNIEXPORT jboolean JNICALL Java_quenvar_klystron_Klystron_isRoundBeam(JNIEnv* env, jobject self) {
  return toJboolean(call(env, self, [](kly_Instance& in) { return in.klystron.isRoundBeam(); }));
}

// ---- Cavity list ---------------------------------------------------------------

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_addCavity(JNIEnv* env, jobject self, jdouble rq, jdouble m,
                                                                jdouble qe, jdouble qo, jdouble frequency,
                                                                jdouble zCenter, jdouble gapWidth, jint harmonic) {
  call(env, self,
       [&](kly_Instance& in) { in.klystron.addCavity(zCenter, frequency, m, harmonic, gapWidth, rq, qo, qe); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_deleteLastCavity(JNIEnv* env, jobject self) {
  call(env, self, [](kly_Instance& in) { in.klystron.deleteLastCavity(); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_deleteAllCavities(JNIEnv* env, jobject self) {
  call(env, self, [](kly_Instance& in) { in.klystron.deleteAllCavities(); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_loadCavityField(JNIEnv* env, jobject self, jint cavity,
                                                                      jstring fileName, jdouble ignored, jint rings) {
  call(env, self, [&](kly_Instance& in) {
    in.klystron.loadCavityField(cavity, kly_jni::toStdString(env, fileName, "fileName"), ignored, rings);
  });
}

JNIEXPORT jint JNICALL Java_quenvar_klystron_Klystron_getCavityCount(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance& in) { return in.klystron.getCavityCount(); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityZCenter(JNIEnv* env, jobject self, jint cavity,
                                                                       jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityZCenter(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityFrequency(JNIEnv* env, jobject self, jint cavity,
                                                                         jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityFrequency(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityM(JNIEnv* env, jobject self, jint cavity, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityM(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityGapWidth(JNIEnv* env, jobject self, jint cavity,
                                                                        jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityGapWidth(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityRQ(JNIEnv* env, jobject self, jint cavity, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityRQ(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityQe(JNIEnv* env, jobject self, jint cavity, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityQe(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityQo(JNIEnv* env, jobject self, jint cavity, jdouble v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityQo(cavity, v); });
}

JNIEXPORT void JNICALL Java_quenvar_klystron_Klystron_setCavityHarmonic(JNIEnv* env, jobject self, jint cavity,
                                                                        jint v) {
  call(env, self, [&](kly_Instance& in) { in.klystron.setCavityHarmonic(cavity, v); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getZ(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getZ(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getFrequency(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getFrequency(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getM(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getM(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getGapWidth(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getGapWidth(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getRQ(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getRQ(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getQe(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getQe(cavity); });
}

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getQo(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getQo(cavity); });
}

JNIEXPORT jint JNICALL Java_quenvar_klystron_Klystron_getHarmonic(JNIEnv* env, jobject self, jint cavity) {
  return call(env, self, [&](kly_Instance& in) { return in.klystron.getHarmonic(cavity); });
}
// ---- Constants -----------------------------------------------------------------

JNIEXPORT jdouble JNICALL Java_quenvar_klystron_Klystron_getSpeedOfLight(JNIEnv* env, jobject self) {
  return call(env, self, [](kly_Instance&) { return kly::kSpeedOfLight; });
}

}  // extern "C"
