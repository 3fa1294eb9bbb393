// Stopping a run: the signal handlers, and the results of a run stopped
// after some of its passes.
#include "tools/kly_Interrupt.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <sstream>

#include "kly_ToolTubes.h"
#include "tools/kly_ResultsWriter.h"
#include "tools/kly_Summary.h"

namespace {

using kly_test::runOf;
using kly_test::smallTube;
using nlohmann::json;

TEST(Interrupt, TheFirstSignalAsksTheSecondEnds) {
  {
    const kly_Interrupt interrupt("first\n", "second\n");
    EXPECT_FALSE(kly_Interrupt::requested());
    ::raise(SIGINT);
    EXPECT_TRUE(kly_Interrupt::requested());  // and the program goes on
    EXPECT_THROW(kly_Interrupt("again", "again"), std::logic_error);
  }
  EXPECT_EXIT(
      {
        const kly_Interrupt interrupt("first\n", "second\n");
        ::raise(SIGTERM);
        ::raise(SIGINT);
      },
      ::testing::ExitedWithCode(kly_Interrupt::kExitStatus), "first\nsecond\n");
  // A process of an MPI job ends at the first signal, with its message.
  EXPECT_EXIT(
      {
        const kly_Interrupt interrupt("resume with --resume\n");
        ::raise(SIGTERM);
        ::_exit(0);
      },
      ::testing::ExitedWithCode(kly_Interrupt::kExitStatus), "^resume with --resume\n$");
  {
    const kly_Interrupt atOnce("x");  // installed and taken away again: the next one asks first
  }
  {
    const kly_Interrupt interrupt("first\n", "second\n");
    ::raise(SIGINT);
    EXPECT_TRUE(kly_Interrupt::requested());
  }
  // Once the object is gone, Ctrl-C does what it did before.
  EXPECT_EXIT(::raise(SIGINT), ::testing::KilledBySignal(SIGINT), "");
}

TEST(Interrupt, AStoppedRunKeepsItsPassesAndSaysSo) {
  json t = smallTube();
  t["simulation"]["maxIterations"] = 10;
  int asked = 0;
  kly_TubeRunOptions o;
  o.stopRequested = [&asked] { return ++asked > 3; };  // before the simulation, then after passes 1, 2 and 3
  const auto run = runOf(t, true, nullptr, o);
  ASSERT_NE(run->simulation(), nullptr);
  EXPECT_FALSE(run->completed());
  EXPECT_EQ(run->simulation()->getSimulatedIterations(), 3);
  EXPECT_EQ(run->passes().size(), 3u);

  const json results = json::parse(kly_ResultsWriter::render(*run));
  EXPECT_EQ(results.at("completed"), false);
  EXPECT_EQ(results.at("simulatedIterations"), 3);
  EXPECT_EQ(results.at("maxIterations"), 10);
  EXPECT_TRUE(results.at("simulatedGain").is_number());  // the results of the passes done
  std::ostringstream summary;
  kly_Summary::print(summary, *run);
  EXPECT_NE(summary.str().find("3 of at most 10 passes"), std::string::npos) << summary.str();
  EXPECT_NE(summary.str().find("interrupted after pass 3"), std::string::npos) << summary.str();
  // A stopped run did not stop at its limit.
  for (const kly_Warning& w : run->warnings()) EXPECT_NE(w.key, "simulation.maxIterations") << w.text();
}

TEST(Interrupt, AStopBeforeTheSimulationOrAtItsLastPass) {
  kly_TubeRunOptions o;
  o.stopRequested = [] { return true; };
  auto run = runOf(smallTube(), true, nullptr, o);
  EXPECT_EQ(run->simulation(), nullptr);
  EXPECT_FALSE(run->completed());
  std::ostringstream summary;
  kly_Summary::print(summary, *run);
  EXPECT_NE(summary.str().find("Simulation interrupted before its first pass"), std::string::npos) << summary.str();
  EXPECT_EQ(json::parse(kly_ResultsWriter::render(*run)).at("completed"), false);

  // Asked during the last of its passes, the run has done all it would.
  int asked = 0;
  o.stopRequested = [&asked] { return ++asked > 3; };
  run = runOf(smallTube(), true, nullptr, o);
  EXPECT_TRUE(run->completed());
  EXPECT_EQ(json::parse(kly_ResultsWriter::render(*run)).at("completed"), true);
  EXPECT_TRUE(runOf(smallTube(), false, nullptr, o)->completed());
}

TEST(Interrupt, AStopDuringTheResolutionCheckKeepsTheRunAndEndsTheCheck) {
  int passes = 0;
  kly_TubeRunOptions o;
  o.checkResolution = true;
  o.onPass = [&passes](const kly_PassReport&) { ++passes; };
  o.stopRequested = [&passes] { return passes > 4; };  // in the first repeat, after the run's 3 passes
  const auto run = runOf(smallTube(), true, nullptr, o);
  EXPECT_FALSE(run->simulationStopped());
  EXPECT_EQ(run->simulation()->getSimulatedIterations(), 3);
  EXPECT_TRUE(run->resolutionStopped());
  EXPECT_TRUE(run->resolution().empty());
  EXPECT_FALSE(run->completed());
  EXPECT_EQ(passes, 5);  // the repeat ended at the pass the request came in
  std::ostringstream summary;
  kly_Summary::print(summary, *run);
  EXPECT_NE(summary.str().find("Resolution check interrupted"), std::string::npos) << summary.str();
  EXPECT_EQ(summary.str().find("interrupted after pass"), std::string::npos) << summary.str();
}

}  // namespace
