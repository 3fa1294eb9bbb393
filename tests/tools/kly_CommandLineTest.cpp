// The command line and the way the command writes numbers.
#include "tools/kly_CommandLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "tools/kly_Text.h"

namespace {

kly_CommandLine::Outcome parse(std::initializer_list<const char*> words) {
  std::vector<const char*> argv = {"klystron"};
  argv.insert(argv.end(), words);
  return kly_CommandLine::parse(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, ReadsEveryOptionOfARun) {
  auto o = parse({"run", "tube.json", "-o", "out/", "--no-sim", "--threads", "3", "--max-passes", "7", "--force",
                  "--near-field", "thin", "--check-resolution"});
  ASSERT_TRUE(o.options) << o.err;
  EXPECT_EQ(o.options->tube, "tube.json");
  EXPECT_EQ(o.options->output, "out/");
  EXPECT_TRUE(o.options->noSim);
  EXPECT_EQ(o.options->threads, 3);
  EXPECT_EQ(o.options->maxPasses, 7);
  EXPECT_TRUE(o.options->force);
  EXPECT_EQ(o.options->nearField, "thin");
  EXPECT_TRUE(o.options->checkResolution);

  o = parse({"run", "tube.json"});
  ASSERT_TRUE(o.options);
  EXPECT_FALSE(o.options->maxPasses);  // the tube's own limit
}

TEST(CommandLine, ReadsEveryOptionOfASweep) {
  auto o =
      parse({"sweep", "tube.json", "--vary", "beam.inputPower=1:100:5:log", "--vary", "cavities[1].qe=1,2", "-o", "out",
             "--jobs", "3", "--no-sim", "--resume", "--near-field", "thin", "--max-passes", "9", "--force"});
  ASSERT_TRUE(o.sweep) << o.err;
  EXPECT_FALSE(o.options);
  EXPECT_EQ(o.sweep->request.tube, "tube.json");
  EXPECT_EQ(o.sweep->request.vary, (std::vector<std::string>{"beam.inputPower=1:100:5:log", "cavities[1].qe=1,2"}));
  EXPECT_EQ(o.sweep->output, "out");
  EXPECT_EQ(o.sweep->jobs, 3);
  EXPECT_TRUE(o.sweep->request.noSim);
  EXPECT_TRUE(o.sweep->resume);
  EXPECT_EQ(o.sweep->request.nearField, "thin");
  EXPECT_EQ(o.sweep->request.maxPasses, 9);
  EXPECT_TRUE(o.sweep->request.force);

  o = parse({"sweep", "tube.json"});
  EXPECT_FALSE(o.sweep);
  EXPECT_NE(o.err.find("--vary is required"), std::string::npos) << o.err;
  o = parse({"sweep", "tube.json", "--vary", "a=1", "--jobs", "-2"});
  EXPECT_NE(o.err.find("--jobs: expected a whole number from 0 to 1024, found -2"), std::string::npos) << o.err;
  o = parse({"swep", "tube.json"});
  EXPECT_NE(o.err.find("unknown command \"swep\" (did you mean \"sweep\"?)"), std::string::npos) << o.err;
}

TEST(CommandLine, VersionAndHelpGoToStandardOutput) {
  auto o = parse({"--version"});
  EXPECT_FALSE(o.options);
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_EQ(o.out, kly_CommandLine::version() + "\n");
  EXPECT_EQ(kly_CommandLine::version().rfind("klystron ", 0), 0u);
  o = parse({"run", "--help"});
  EXPECT_EQ(o.exitCode, 0);
  EXPECT_NE(o.out.find("--max-passes"), std::string::npos) << o.out;
}

TEST(CommandLine, NamesAnUnknownCommandWithTheClosestKnownOne) {
  auto o = parse({"rnu", "x.json"});
  EXPECT_FALSE(o.options);
  EXPECT_NE(o.exitCode, 0);
  EXPECT_NE(o.err.find("unknown command \"rnu\" (did you mean \"run\"?)"), std::string::npos) << o.err;
  o = parse({"frobnicate"});
  EXPECT_NE(o.err.find("unknown command \"frobnicate\";"), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("did you mean"), std::string::npos) << o.err;
  o = parse({});
  EXPECT_NE(o.exitCode, 0);
  EXPECT_NE(o.err.find("a command is required"), std::string::npos) << o.err;
}

TEST(CommandLine, NumericOptionsAreRefusedInWords) {
  const struct {
    std::vector<const char*> args;
    const char* message;
  } cases[] = {
      {{"--threads", "-1"}, "--threads: expected a whole number from 0 to 1024, found -1"},
      {{"--threads", "abc"}, "--threads: expected a whole number from 0 to 1024, found \"abc\""},
      {{"--threads", "99999999999999999999"}, "found 99999999999999999999"},
      {{"--max-passes", "0"}, "--max-passes: expected a whole number of 1 or more, found 0"},
      {{"--max-passes", ""}, "--max-passes: expected a whole number of 1 or more, found \"\""},
      {{"--near-field", "thick"}, "--near-field: thick not in {thin,finite}"},
  };
  for (const auto& c : cases) {
    std::vector<const char*> argv = {"klystron", "run", "tube.json"};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const auto o = kly_CommandLine::parse(static_cast<int>(argv.size()), argv.data());
    EXPECT_FALSE(o.options) << c.message;
    EXPECT_NE(o.exitCode, 0);
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_EQ(o.err.find("1797693"), std::string::npos) << o.err;
  }
}

TEST(Text, NoNegativeZeroOrSignedNan) {
  using namespace kly_text;
  EXPECT_EQ(fixed(-0.001, 2), "0.00");
  EXPECT_EQ(fixed(-0.006, 2), "-0.01");
  EXPECT_EQ(fixed(-NAN, 2), "-");
  EXPECT_EQ(fixed(-INFINITY, 1), "-inf");
  EXPECT_EQ(general(-NAN), "nan");
  EXPECT_EQ(general(-0.0), "0");
}

TEST(Text, QuantitiesTakeTheirPrefix) {
  using namespace kly_text;
  EXPECT_EQ(quantity(-375757.05859945767, "W"), "-375.8 kW");
  EXPECT_EQ(quantity(2.856e9, "Hz"), "2.856 GHz");
  EXPECT_EQ(quantity(0.0062, "m"), "6.2 mm");
  EXPECT_EQ(quantity(999.96, "V"), "1 kV");  // not "1000 V"
  EXPECT_EQ(quantity(0, "A"), "0 A");
  EXPECT_EQ(quantity(NAN, "W"), "nan W");
  EXPECT_EQ(bytes(20.3 * 1024 * 1024), "20.3 MiB");
  EXPECT_EQ(duration(0.42), "0.42 s");
  EXPECT_EQ(duration(3600), "1 h");
  EXPECT_EQ(duration(218.4 * 86400), "218 days");
}

TEST(Text, WrapsAtSpacesWithinTheWidth) {
  using V = std::vector<std::string>;
  EXPECT_EQ(kly_text::wrap("", 10), V{});
  EXPECT_EQ(kly_text::wrap(" \n\t ", 10), V{});
  // A line is filled up to the width exactly, white space of any kind is one space.
  EXPECT_EQ(kly_text::wrap("aaaa bbbbb\n  cc\tdd", 10), (V{"aaaa bbbbb", "cc dd"}));
  EXPECT_EQ(kly_text::wrap("aaaa bbbbbb", 10), (V{"aaaa", "bbbbbb"}));
  // A word longer than the width is kept whole on its own line.
  EXPECT_EQ(kly_text::wrap("a 0123456789abc b", 10), (V{"a", "0123456789abc", "b"}));
}

}  // namespace
