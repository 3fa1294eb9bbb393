#pragma once

#include <string>
#include <string_view>

// Conversions between the engine's byte strings (file names and messages,
// UTF-8 where they are text at all) and the modified UTF-8 of the JNI string
// functions, which writes U+0000 as the two bytes C0 80 and a character beyond
// U+FFFF as two three-byte surrogates.
namespace kly_jni {

// The standard UTF-8 of a string the JVM handed over in modified UTF-8, so that
// a file name reaches the file system with the bytes the Java String stands
// for. Throws std::invalid_argument, naming `what` and the character's index
// in the Java string, for a NUL character (it would cut the name short), an
// unpaired surrogate (it has no UTF-8 form) or bytes that are not modified
// UTF-8 at all.
std::string fromModifiedUtf8(std::string_view bytes, const char* what);

// Modified UTF-8 for any bytes, for the JNI functions that read it (ThrowNew):
// well-formed UTF-8 keeps its characters, a NUL byte becomes C0 80, and every
// byte that does not start a well-formed sequence becomes U+FFFD. Never throws
// anything but std::bad_alloc.
std::string toModifiedUtf8(std::string_view bytes);

}  // namespace kly_jni
