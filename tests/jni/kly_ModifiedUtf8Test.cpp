#include "jni/kly_ModifiedUtf8.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

using kly_jni::fromModifiedUtf8;
using kly_jni::toModifiedUtf8;

// U+1F600 in UTF-8, and as the surrogate pair D83D DE00 in modified UTF-8.
const std::string kFaceUtf8 = "\xF0\x9F\x98\x80";
const std::string kFaceModified = "\xED\xA0\xBD\xED\xB8\x80";
const std::string kReplacement = "\xEF\xBF\xBD";

TEST(ModifiedUtf8, JavaStringsBecomeStandardUtf8) {
  EXPECT_EQ(fromModifiedUtf8("gap-field.txt", "fileName"), "gap-field.txt");
  EXPECT_EQ(fromModifiedUtf8("", "fileName"), "");
  // Two- and three-byte characters are the same in both forms.
  EXPECT_EQ(fromModifiedUtf8("Gr\xC3\xB6\xC3\x9F"
                             "e \xE2\x82\xAC",
                             "fileName"),
            "Gr\xC3\xB6\xC3\x9F"
            "e \xE2\x82\xAC");
  // A character beyond U+FFFF arrives as two surrogates and leaves as one four-byte sequence.
  EXPECT_EQ(fromModifiedUtf8("tube-" + kFaceModified + ".txt", "fileName"), "tube-" + kFaceUtf8 + ".txt");
}

TEST(ModifiedUtf8, RefusesWhatNoFileNameCanHold) {
  const auto message = [](const std::string& bytes) {
    try {
      fromModifiedUtf8(bytes, "fileName");
    } catch (const std::invalid_argument& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  // U+0000 would cut the name short and open another file.
  EXPECT_EQ(message("ab\xC0\x80"
                    "c"),
            "fileName has a NUL character at index 2");
  EXPECT_EQ(message("\xED\xA0\xBD"), "fileName has an unpaired surrogate at index 0");
  EXPECT_EQ(message("a\xED\xB8\x80"), "fileName has an unpaired surrogate at index 1");
  EXPECT_EQ(message("\xED\xA0\xBDx"), "fileName has an unpaired surrogate at index 0");
  // The index counts UTF-16 units, as String.charAt does.
  EXPECT_EQ(message(kFaceModified + "\xC3\xB6\xC0\x80"), "fileName has a NUL character at index 3");
  // Bytes the JVM never produces.
  EXPECT_EQ(message("a\xFF"), "fileName has bytes that are not modified UTF-8 at index 1");
  EXPECT_EQ(message("\xE2\x82"), "fileName has bytes that are not modified UTF-8 at index 0");
  EXPECT_EQ(message("\xC1\xBF"), "fileName has bytes that are not modified UTF-8 at index 0");
  EXPECT_EQ(message(kFaceUtf8), "fileName has bytes that are not modified UTF-8 at index 0");
}

TEST(ModifiedUtf8, MessagesKeepTheirTextAndLoseNothing) {
  EXPECT_EQ(toModifiedUtf8("field file 'a.txt' line 3"), "field file 'a.txt' line 3");
  EXPECT_EQ(toModifiedUtf8("Gr\xC3\xB6\xC3\x9F"
                           "e \xE2\x82\xAC"),
            "Gr\xC3\xB6\xC3\x9F"
            "e \xE2\x82\xAC");
  EXPECT_EQ(toModifiedUtf8("tube-" + kFaceUtf8 + ".txt"), "tube-" + kFaceModified + ".txt");
  EXPECT_EQ(toModifiedUtf8(std::string("a\0b", 3)),
            "a\xC0\x80"
            "b");
}

TEST(ModifiedUtf8, BinaryBytesBecomeReplacementCharacters) {
  // What a binary file quoted in an error message looks like: each stray byte
  // is replaced on its own and the text after it survives.
  EXPECT_EQ(toModifiedUtf8("found \"\xFF\xFE\x80\" here"),
            "found \"" + kReplacement + kReplacement + kReplacement + "\" here");
  EXPECT_EQ(toModifiedUtf8("\xE2\x82"), kReplacement + kReplacement);                     // cut off
  EXPECT_EQ(toModifiedUtf8("\xC0\xAF"), kReplacement + kReplacement);                     // overlong '/'
  EXPECT_EQ(toModifiedUtf8("\xED\xA0\xBD"), kReplacement + kReplacement + kReplacement);  // a lone surrogate
  EXPECT_EQ(toModifiedUtf8("\xF4\x90\x80\x80"),
            kReplacement + kReplacement + kReplacement + kReplacement);  // beyond U+10FFFF
}

TEST(ModifiedUtf8, EveryByteStringConvertsToWhatTheJvmDecodes) {
  // Whatever the engine writes into a message must come back out of the
  // reverse conversion, except for the NUL characters it may hold.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  const std::string converted = toModifiedUtf8(all + kFaceUtf8);
  EXPECT_NO_THROW(fromModifiedUtf8(converted, "message"));
  EXPECT_EQ(fromModifiedUtf8(converted, "message").substr(0, 127), all.substr(0, 127));
}

}  // namespace
