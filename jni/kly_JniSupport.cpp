#include "jni/kly_JniSupport.h"

#include <cstdint>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "jni/kly_ModifiedUtf8.h"
#include "klystron/core/kly_Errors.h"

namespace kly_jni {
namespace {

constexpr const char* kFieldName = "cppInstancePointer";
constexpr const char* kFieldSignature = "J";

jfieldID instanceField(JNIEnv* env, jobject self) {
  jclass cls = env->GetObjectClass(self);
  jfieldID field = env->GetFieldID(cls, kFieldName, kFieldSignature);
  env->DeleteLocalRef(cls);
  if (field == nullptr) throw PendingJavaException{};  // NoSuchFieldError is pending
  return field;
}

void throwNew(JNIEnv* env, const char* className, const char* message) noexcept {
  if (env->ExceptionCheck()) return;  // keep the exception already raised
  // Messages quote file names and file contents, which may hold any bytes;
  // ThrowNew reads modified UTF-8 and would cut the message at the first byte
  // it cannot decode.
  std::string text;
  try {
    text = toModifiedUtf8(message);
  } catch (...) {
    text = "the klystron engine failed and its message could not be converted";
  }
  jclass cls = env->FindClass(className);
  if (cls == nullptr) return;  // FindClass left its own error pending
  env->ThrowNew(cls, text.c_str());
  env->DeleteLocalRef(cls);
}

}  // namespace

kly_Instance* instanceAddress(JNIEnv* env, jobject self) {
  const jlong value = env->GetLongField(self, instanceField(env, self));
  return reinterpret_cast<kly_Instance*>(static_cast<std::intptr_t>(value));
}

void storeInstanceAddress(JNIEnv* env, jobject self, kly_Instance* instance) {
  const jfieldID field = instanceField(env, self);
  env->SetLongField(self, field, static_cast<jlong>(reinterpret_cast<std::intptr_t>(instance)));
}

kly_Instance& liveInstance(JNIEnv* env, jobject self) {
  kly_Instance* instance = instanceAddress(env, self);
  if (instance == nullptr) {
    throw kly_StateError("this Klystron has no native model: it was closed (deleteKlystron) or never created");
  }
  return *instance;
}

std::string toStdString(JNIEnv* env, jstring text, const char* what) {
  if (text == nullptr) throw NullArgument(std::string(what) + " is null");
  const jsize length = env->GetStringUTFLength(text);
  const char* chars = env->GetStringUTFChars(text, nullptr);
  if (chars == nullptr) throw PendingJavaException{};  // OutOfMemoryError is pending
  struct Release {
    JNIEnv* env;
    jstring text;
    const char* chars;
    ~Release() { env->ReleaseStringUTFChars(text, chars); }
  } release{env, text, chars};
  // A file name must reach the file system as the UTF-8 of the Java String,
  // not in the JVM's modified form.
  return fromModifiedUtf8(std::string_view(chars, static_cast<std::size_t>(length)), what);
}

void raiseJavaException(JNIEnv* env) noexcept {
  try {
    throw;
  } catch (const PendingJavaException&) {
    // A JNI call already raised the Java exception.
  } catch (const std::bad_alloc&) {
    throwNew(env, "java/lang/OutOfMemoryError", "native memory exhausted in the klystron engine");
  } catch (const NullArgument& e) {
    throwNew(env, "java/lang/NullPointerException", e.what());
  } catch (const std::out_of_range& e) {
    throwNew(env, "java/lang/IndexOutOfBoundsException", e.what());
  } catch (const std::invalid_argument& e) {
    throwNew(env, "java/lang/IllegalArgumentException", e.what());
  } catch (const kly_StateError& e) {
    throwNew(env, "java/lang/IllegalStateException", e.what());
  } catch (const std::exception& e) {
    throwNew(env, "java/lang/RuntimeException", e.what());
  } catch (...) {
    throwNew(env, "java/lang/RuntimeException", "unknown failure in the klystron engine");
  }
}

}  // namespace kly_jni
