#pragma once

#include <stdexcept>

// Error kinds of the engine. Callers of the C++ API catch them like any standard
// exception; the JNI layer maps each kind onto one Java exception class:
//   std::out_of_range      -> IndexOutOfBoundsException (an index outside its range)
//   std::invalid_argument  -> IllegalArgumentException  (a value the model cannot use)
//   kly_StateError         -> IllegalStateException     (a call made in the wrong order)
//   kly_FileError          -> RuntimeException          (an input file that cannot be used)
//   std::bad_alloc         -> OutOfMemoryError

// A call that needs an earlier one (a run before its results, say).
class kly_StateError : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

// A field-profile or beam file that cannot be opened or parsed. The message
// names the file, the line and what was wrong.
class kly_FileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};
