#include "jni/kly_JniSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "klystron/core/kly_Errors.h"

namespace {

// A JNI environment that records what the adapter asks of it.
struct FakeJvm {
  JNINativeInterface_ table{};
  JNIEnv env{};
  bool pending = false;
  std::string thrownClass;
  std::string thrownMessage;
  int throws = 0;
  int callsWhilePending = 0;
  bool fieldExists = true;
  jlong field = 0;
  std::string text;
  int releasedStrings = 0;

  FakeJvm() {
    std::memset(&table, 0, sizeof table);
    table.reserved0 = this;
    env.functions = &table;
    table.ExceptionCheck = [](JNIEnv* e) -> jboolean { return self(e).pending ? JNI_TRUE : JNI_FALSE; };
    table.FindClass = [](JNIEnv* e, const char* name) -> jclass {
      FakeJvm& f = self(e);
      f.noteCall();
      f.thrownClass = name;
      return reinterpret_cast<jclass>(&f.thrownClass);
    };
    table.ThrowNew = [](JNIEnv* e, jclass, const char* message) -> jint {
      FakeJvm& f = self(e);
      f.noteCall();
      f.thrownMessage = message;
      f.pending = true;
      ++f.throws;
      return 0;
    };
    table.DeleteLocalRef = [](JNIEnv*, jobject) {};
    table.GetObjectClass = [](JNIEnv* e, jobject) -> jclass {
      self(e).noteCall();
      return reinterpret_cast<jclass>(&self(e).field);
    };
    table.GetFieldID = [](JNIEnv* e, jclass, const char* name, const char* sig) -> jfieldID {
      FakeJvm& f = self(e);
      f.noteCall();
      EXPECT_STREQ(name, "cppInstancePointer");
      EXPECT_STREQ(sig, "J");
      if (!f.fieldExists) {
        f.pending = true;  // NoSuchFieldError
        return nullptr;
      }
      return reinterpret_cast<jfieldID>(&f.field);
    };
    table.GetLongField = [](JNIEnv* e, jobject, jfieldID) -> jlong {
      self(e).noteCall();
      return self(e).field;
    };
    table.SetLongField = [](JNIEnv* e, jobject, jfieldID, jlong v) {
      self(e).noteCall();
      self(e).field = v;
    };
    table.GetStringUTFLength = [](JNIEnv* e, jstring) -> jsize { return static_cast<jsize>(self(e).text.size()); };
    table.GetStringUTFChars = [](JNIEnv* e, jstring, jboolean*) -> const char* { return self(e).text.c_str(); };
    table.ReleaseStringUTFChars = [](JNIEnv* e, jstring, const char*) { ++self(e).releasedStrings; };
  }

  static FakeJvm& self(JNIEnv* e) { return *static_cast<FakeJvm*>(const_cast<void*>(e->functions->reserved0)); }
  void noteCall() {
    if (pending) ++callsWhilePending;
  }
  jobject object() { return reinterpret_cast<jobject>(this); }
};

template <class E>
void expectTranslation(const E& error, const char* javaClass) {
  FakeJvm jvm;
  const double r = kly_jni::guard(&jvm.env, [&]() -> double { throw error; });
  EXPECT_EQ(r, 0.0);
  EXPECT_EQ(jvm.thrownClass, javaClass);
  EXPECT_EQ(jvm.thrownMessage, error.what());
  EXPECT_EQ(jvm.throws, 1);
}

TEST(JniGuard, MapsEachErrorKindToItsJavaException) {
  expectTranslation(std::out_of_range("cavity index 7"), "java/lang/IndexOutOfBoundsException");
  expectTranslation(std::invalid_argument("rings 0"), "java/lang/IllegalArgumentException");
  expectTranslation(kly_StateError("no run yet"), "java/lang/IllegalStateException");
  expectTranslation(kly_FileError("file 'x' line 3"), "java/lang/RuntimeException");
  expectTranslation(std::runtime_error("other"), "java/lang/RuntimeException");
  expectTranslation(kly_jni::NullArgument("fileName is null"), "java/lang/NullPointerException");
}

TEST(JniGuard, MessagesReachJavaWholeAsModifiedUtf8) {
  // A binary file quoted in a message: ThrowNew must get bytes it can decode.
  FakeJvm jvm;
  kly_jni::guard(&jvm.env, [] { throw kly_FileError("found \"\xFF\xFE\" in 'b\xF0\x9F\x98\x80.txt'"); });
  EXPECT_EQ(jvm.thrownMessage, "found \"\xEF\xBF\xBD\xEF\xBF\xBD\" in 'b\xED\xA0\xBD\xED\xB8\x80.txt'");
}

TEST(JniGuard, OutOfMemoryAndUnknownErrors) {
  {
    FakeJvm jvm;
    kly_jni::guard(&jvm.env, [] { throw std::bad_alloc(); });
    EXPECT_EQ(jvm.thrownClass, "java/lang/OutOfMemoryError");
  }
  {
    FakeJvm jvm;
    const int r = kly_jni::guard(&jvm.env, []() -> int { throw 42; });
    EXPECT_EQ(r, 0);
    EXPECT_EQ(jvm.thrownClass, "java/lang/RuntimeException");
  }
}

TEST(JniGuard, ReturnsTheValueWhenNothingFails) {
  FakeJvm jvm;
  EXPECT_EQ(kly_jni::guard(&jvm.env, [] { return 3.5; }), 3.5);
  EXPECT_EQ(jvm.throws, 0);
}

TEST(JniGuard, KeepsAnAlreadyPendingExceptionAndCallsNothingMore) {
  FakeJvm jvm;
  jvm.pending = true;
  kly_jni::guard(&jvm.env, [] { throw std::invalid_argument("late"); });
  EXPECT_EQ(jvm.throws, 0);
  EXPECT_EQ(jvm.callsWhilePending, 0);
}

TEST(JniLookup, ObjectWithoutInstanceGivesIllegalState) {
  FakeJvm jvm;
  bool ran = false;
  kly_jni::call(&jvm.env, jvm.object(), [&](kly_Instance&) { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_EQ(jvm.thrownClass, "java/lang/IllegalStateException");
}

TEST(JniLookup, MissingFieldStopsBeforeAnyFurtherCall) {
  FakeJvm jvm;
  jvm.fieldExists = false;
  bool ran = false;
  kly_jni::call(&jvm.env, jvm.object(), [&](kly_Instance&) { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_EQ(jvm.throws, 0);  // the NoSuchFieldError stays the one reported
  EXPECT_EQ(jvm.callsWhilePending, 0);
}

TEST(JniLookup, FindsTheStoredInstance) {
  FakeJvm jvm;
  kly_Instance instance;
  kly_jni::storeInstanceAddress(&jvm.env, jvm.object(), &instance);
  kly_Instance* seen = nullptr;
  kly_jni::call(&jvm.env, jvm.object(), [&](kly_Instance& in) { seen = &in; });
  EXPECT_EQ(seen, &instance);
  EXPECT_EQ(jvm.throws, 0);
}

TEST(JniStrings, ConvertsWholeAndReleasesOnce) {
  FakeJvm jvm;
  jvm.text = std::string(100000, 'a') + "/end";
  jstring handle = reinterpret_cast<jstring>(&jvm.text);
  EXPECT_EQ(kly_jni::toStdString(&jvm.env, handle, "fileName"), jvm.text);
  EXPECT_EQ(jvm.releasedStrings, 1);
  EXPECT_THROW(kly_jni::toStdString(&jvm.env, nullptr, "fileName"), kly_jni::NullArgument);
  EXPECT_EQ(jvm.releasedStrings, 1);
}

TEST(JniStrings, NamesArriveAsUtf8AndRefusedOnesAreReleasedToo) {
  FakeJvm jvm;
  jstring handle = reinterpret_cast<jstring>(&jvm.text);
  jvm.text = "tube-\xED\xA0\xBD\xED\xB8\x80.txt";  // U+1F600 as the JVM hands it over
  EXPECT_EQ(kly_jni::toStdString(&jvm.env, handle, "fileName"), "tube-\xF0\x9F\x98\x80.txt");
  jvm.text = "gap\xC0\x80.txt";  // "gap\0.txt" would open "gap"
  try {
    kly_jni::toStdString(&jvm.env, handle, "fileName");
    ADD_FAILURE() << "a NUL character was accepted";
  } catch (const kly_jni::NullArgument&) {
    ADD_FAILURE() << "a NUL character is no null reference";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "fileName has a NUL character at index 3");
  }
  EXPECT_EQ(jvm.releasedStrings, 2);
}

}  // namespace
