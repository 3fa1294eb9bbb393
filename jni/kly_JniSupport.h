#pragma once

#include <jni.h>

#include <string>
#include <type_traits>

#include "jni/kly_Instance.h"

// Helpers shared by every exported native method: the instance lookup, string
// conversion and the one place where C++ exceptions become Java exceptions.
namespace kly_jni {

// Thrown where a JNI call has already left a Java exception pending; the guard
// then returns at once without raising another one.
struct PendingJavaException {};

// Thrown for a null Java reference where an object is required.
class NullArgument : public std::invalid_argument {
public:
  using std::invalid_argument::invalid_argument;
};

// The address held in the object's "cppInstancePointer" field, looked up afresh
// (class, field id, value) on every call. Null when the object has none.
kly_Instance* instanceAddress(JNIEnv* env, jobject self);

// Stores the address in the object's field.
void storeInstanceAddress(JNIEnv* env, jobject self, kly_Instance* instance);

// The object's live instance; throws kly_StateError when it has none.
kly_Instance& liveInstance(JNIEnv* env, jobject self);

// The text of a Java string, whole, in standard UTF-8. Throws NullArgument for
// null and std::invalid_argument, naming `what`, for a string with a NUL
// character or an unpaired surrogate, which no file name can hold.
std::string toStdString(JNIEnv* env, jstring text, const char* what);

// Raises the Java exception that corresponds to the exception being handled.
// Call only from inside a catch block. Never throws.
void raiseJavaException(JNIEnv* env) noexcept;

// Runs f and turns any C++ exception into a pending Java exception; returns
// the value-initialised result in that case.
template <class F>
auto guard(JNIEnv* env, F&& f) noexcept -> std::invoke_result_t<F> {
  using R = std::invoke_result_t<F>;
  try {
    if constexpr (std::is_void_v<R>) {
      f();
    } else {
      return f();
    }
  } catch (...) {
    raiseJavaException(env);
    if constexpr (!std::is_void_v<R>) return R{};
  }
}

// The usual body of a native method: look up the live instance, then call f on it.
template <class F>
auto call(JNIEnv* env, jobject self, F&& f) noexcept -> std::invoke_result_t<F, kly_Instance&> {
  return guard(env, [&]() -> std::invoke_result_t<F, kly_Instance&> { return f(liveInstance(env, self)); });
}

inline jboolean toJboolean(bool v) { return v ? JNI_TRUE : JNI_FALSE; }

}  // namespace kly_jni
