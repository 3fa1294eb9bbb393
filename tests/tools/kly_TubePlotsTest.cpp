// The plots a designer reads a run by, and the phases and the power balance
// they are drawn from.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>

#include "kly_SvgCheck.h"
#include "kly_ToolTubes.h"
#include "klystron/core/kly_Constants.h"
#include "klystron/core/kly_Errors.h"
#include "tools/kly_BeamPhases.h"
#include "tools/kly_PowerBalance.h"
#include "tools/kly_TubePlots.h"
#include "tools/kly_TubeRun.h"

namespace {

using kly_test::runOf;

// Plot area of kly_SvgPlot [px].
constexpr double kLeft = 80, kRightEdge = kly_SvgPlot::kWidth - 24, kTop = 56, kBottom = kly_SvgPlot::kHeight - 78;

// Runs shared by the tests: the small tube undriven, in one pass (the first
// has no space charge), so that every disk ring drifts at u0; the X-band
// example and the S-band example with its second-harmonic cavity, at their
// own counts, converged.
class TubePlotsTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    nlohmann::json drift = kly_test::smallTube();
    drift["beam"]["inputPower"] = 0;
    drift["simulation"]["maxIterations"] = 1;
    drift["simulation"]["rings"] = 2;
    drift_ = runOf(drift, true).release();
    xband_ = runOf(kly_test::exampleTube("xband-sheet"), true).release();
    sband_ = runOf(kly_test::exampleTube("sband-round"), true).release();
  }
  static void TearDownTestSuite() {
    delete drift_;
    delete xband_;
    delete sband_;
  }
  static kly_BeamPhases phases(const kly_TubeRun& run) {
    return kly_BeamPhases(*run.simulation(), run.built().beam().getRfWavelength());
  }
  static double outputGap(const kly_TubeRun& run) { return run.cavity(run.cavityCount() - 1).z; }
  static kly_TubeRun* drift_;
  static kly_TubeRun* xband_;
  static kly_TubeRun* sband_;
};
kly_TubeRun* TubePlotsTest::drift_ = nullptr;
kly_TubeRun* TubePlotsTest::xband_ = nullptr;
kly_TubeRun* TubePlotsTest::sband_ = nullptr;

TEST_F(TubePlotsTest, ADriftingBeamKeepsTheArrivalPhasesItWasLaunchedWith) {
  const kly_DiskSimulation& s = *drift_->simulation();
  const kly_BeamPhases p = phases(*drift_);
  const double u0 = drift_->built().beam().getBeamVelocity();
  const double zOut = outputGap(*drift_);
  for (int d = 0; d < s.getDisks(); ++d) {
    // Disk d starts d/disks of a wavelength ahead of disk 0 and one step
    // after t = 0 (the trajectories start one step into the pass).
    const double launch = -kly::kTwoPi * (static_cast<double>(d) / s.getDisks() + 1.0 / s.getSteps());
    for (int r = 0; r < s.getRings(); ++r) {
      const int last = p.lastStep(d, r, s.getZEnd());
      EXPECT_GT(s.getSimulatedDiskPosition(d, r, last), s.getZEnd());
      for (int i = 0; i <= last; ++i) ASSERT_NEAR(p.atStep(d, r, i), launch, 1e-9) << d << " " << r << " " << i;
      const auto c = p.crossing(d, r, zOut);
      ASSERT_TRUE(c.has_value());
      EXPECT_NEAR(c->phase, launch, 1e-9);
      EXPECT_NEAR(c->velocity / u0, 1, 1e-12);
      const std::vector<double> at = p.atPlanes(d, r, {s.getZStart() - 1, zOut, s.getZEnd(), s.getZEnd() + 1e3});
      EXPECT_TRUE(std::isnan(at[0]));  // behind the launch
      EXPECT_NEAR(at[1], launch, 1e-9);
      EXPECT_NEAR(at[2], launch, 1e-9);
      EXPECT_TRUE(std::isnan(at[3]));  // never reached
    }
  }
  EXPECT_FALSE(p.crossing(0, 0, s.getZEnd() + 1e3).has_value());
  // Disks spread evenly over a turn have no centre.
  EXPECT_EQ(p.bunchCentre(zOut), 0.0);
}

TEST_F(TubePlotsTest, TheBunchCentreIsThePhaseOfTheSimulatedFundamental) {
  // The engine's own I1 phase along z (profile, ring 0) is the mean
  // direction of 2 pi (z / lambda - (s + f) / steps) over the disks, with
  // the step s after the crossing: against the arrival phase, the sign
  // turned, one step and 2 pi zStart / lambda apart.
  const kly_DiskSimulation& s = *xband_->simulation();
  const kly_BeamPhases p = phases(*xband_);
  const double lambda = xband_->built().beam().getRfWavelength();
  int compared = 0;
  for (int i = 0; i < kly::kProfilePoints; ++i) {
    if (s.getSimulatedI1I0Sample(i) < 0.05) continue;  // too little bunching for a direction
    const double expected =
        -s.getSimulatedI1I0PhaseSample(i) - kly::kTwoPi / s.getSteps() + kly::kTwoPi * s.getZStart() / lambda;
    EXPECT_NEAR(kly_wrapPhase(p.bunchCentre(s.getBunchingGridZ(i)), expected), expected, 1e-9) << i;
    ++compared;
  }
  EXPECT_GT(compared, 100);
  EXPECT_DOUBLE_EQ(kly_wrapPhase(3 * kly::kPi, 0), -kly::kPi);
  EXPECT_DOUBLE_EQ(kly_wrapPhase(0.5, 7), 0.5 + kly::kTwoPi);
}

TEST_F(TubePlotsTest, ThePowerOfADriftingBeamStaysInTheBeam) {
  const kly_PowerBalance b = kly_PowerBalance::of(*drift_);
  // The beam model's kinetic energy is e Vd: the launched beam carries I0 Vd.
  const double i0vd = 90 * drift_->built().beam().getDepressedBeamVoltage();
  EXPECT_NEAR(b.launched / i0vd, 1, 1e-9);
  EXPECT_NEAR(b.spentMeasured / b.launched, 1, 1e-12);
  ASSERT_EQ(b.cavity.size(), 3u);
  for (double c : b.cavity) EXPECT_LT(std::abs(c), 1e-6 * b.launched);
  EXPECT_EQ(b.notLeft, 0);
  EXPECT_THROW(kly_PowerBalance::of(*runOf(kly_test::smallTube(), false)), kly_StateError);
}

TEST_F(TubePlotsTest, TheBalanceOfAConvergedRunAddsUpToTheSpentBeamItMeasures) {
  const kly_DiskSimulation& s = *xband_->simulation();
  const kly_PowerBalance b = kly_PowerBalance::of(*xband_);
  const double i0vd = 30 * xband_->built().beam().getDepressedBeamVoltage();
  EXPECT_NEAR(b.launched / i0vd, 1, 1e-9);
  // The output cavity's share is the one the efficiencies are made of ...
  EXPECT_EQ(b.output, s.getSimulatedOutputPower());
  EXPECT_NEAR((b.output + b.outputWalls) / (s.getSimulatedElectronicEfficiency() * i0vd), 1, 1e-12);
  EXPECT_NEAR(b.output / b.cavity.back(), 3000.0 / (3000 + 60), 1e-12);  // Qo / (Qo + Qe) of the output
  // ... the idler takes power for its walls and the input gap gives some ...
  EXPECT_GT(b.cavity[1], 0);
  EXPECT_NEAR(b.otherCavities, b.cavity[0] + b.cavity[1], 1e-9 * b.launched);
  EXPECT_NEAR(b.output + b.outputWalls + b.otherCavities + b.spent, b.launched, 1e-9 * b.launched);
  // ... and what the balance leaves is what the beam carries out of the
  // output cavity's field, but for the energy in the bunch's space-charge
  // field and the gap field's tail (0.31 % of the beam power here).
  EXPECT_LT(b.output / b.launched, 0.5);
  EXPECT_GT(b.output / b.launched, 0.1);
  EXPECT_NEAR(b.spent / b.launched, b.spentMeasured / b.launched, 0.005);
  // So too with a second-harmonic cavity, whose power is that of its
  // harmonic.
  const kly_PowerBalance s2 = kly_PowerBalance::of(*sband_);
  ASSERT_EQ(sband_->cavity(3).harmonic, 2);
  EXPECT_NEAR(s2.spent / s2.launched, s2.spentMeasured / s2.launched, 0.005);
  EXPECT_GT(s2.cavity[3], 0);
}

TEST_F(TubePlotsTest, TheApplegateDiagramDrawsEveryDiskOnTheCircleOfPhase) {
  const kly_SvgCheck drift = kly_SvgCheck::parse(kly_TubePlots::applegate(*drift_).render());
  ASSERT_TRUE(drift.wellFormed) << drift.error;
  const int disks = drift_->simulation()->getDisks();
  ASSERT_EQ(drift.series.size(), static_cast<std::size_t>(disks));
  // A drifting disk is one flat line inside the window of one turn, once,
  // whichever copy of it the window shows.
  for (int d = 0; d < disks; ++d) {
    const kly_SvgSeries& line = drift.series.at("disk " + std::to_string(d));
    ASSERT_EQ(line.polylines, 1) << d;
    ASSERT_GE(line.points.size(), 2u) << d;
    for (const auto& [x, y] : line.points) {
      EXPECT_NEAR(y, line.points[0].second, 0.011) << d;
      EXPECT_GE(y, kTop);
      EXPECT_LE(y, kBottom);
    }
    EXPECT_LE(line.points.front().first, kLeft + 0.01);  // across the whole tube
    EXPECT_GE(line.points.back().first, kRightEdge - 0.01);
  }
  EXPECT_TRUE(drift.hasText("small test tube: ring 0 of 8 disks; no disk overtakes another"));
  for (const char* gap : {"0", "1", "2"}) EXPECT_TRUE(drift.hasText(gap)) << gap;
  EXPECT_EQ(drift.bands.size(), 3u);

  // The X-band tube's disks overtake each other just before the output gap's centre (0.12 m).
  const kly_SvgCheck x = kly_SvgCheck::parse(kly_TubePlots::applegate(*xband_).render());
  ASSERT_TRUE(x.wellFormed) << x.error;
  EXPECT_TRUE(
      x.hasText("X-band three-cavity sheet-beam klystron, modelled on the sheet-beam tubes studied for X-band "
                "linacs: ring 0 of 24 disks; disks overtake from z = 0.109 m"));
  for (const auto& [name, line] : x.series) {
    // Every piece of a line reaches into the window.
    EXPECT_GE(line.polylines, 1) << name;
    bool inside = false;
    for (const auto& [px, py] : line.points) inside = inside || (py >= kTop && py <= kBottom);
    EXPECT_TRUE(inside) << name;
  }
  EXPECT_THROW(kly_TubePlots::applegate(*runOf(kly_test::smallTube(), false)), kly_StateError);
}

TEST_F(TubePlotsTest, PhaseSpaceHasOnePointPerDiskRingAtTheOutputGap) {
  const kly_SvgCheck drift = kly_SvgCheck::parse(kly_TubePlots::phaseSpace(*drift_).render());
  ASSERT_TRUE(drift.wellFormed) << drift.error;
  const int disks = drift_->simulation()->getDisks();
  for (const char* ring : {"ring 0", "ring 1"}) {
    const auto& centres = drift.series.at(ring).centres;
    ASSERT_EQ(centres.size(), static_cast<std::size_t>(disks)) << ring;
    // All at u0, each disk at its own phase, an eighth of a turn apart.
    const double width = kRightEdge - kLeft;
    for (std::size_t d = 0; d < centres.size(); ++d) {
      EXPECT_NEAR(centres[d].second, centres[0].second, 0.011);
      const double step = std::remainder(centres[d].first - centres[0].first, width);
      EXPECT_NEAR(std::abs(std::remainder(step, width / disks)), 0, 0.02) << d;
      EXPECT_GE(centres[d].first, kLeft);
      EXPECT_LE(centres[d].first, kRightEdge);
    }
  }
  EXPECT_TRUE(drift.hasText("Phase space at the output gap (cavity 2, z = 0.3 m)"));
}

TEST_F(TubePlotsTest, ThePowerBalanceIsOneBarOfTheBeamAndTheMeasuredSpentBeamUnderIt) {
  const kly_PowerBalance b = kly_PowerBalance::of(*xband_);
  const kly_SvgCheck svg = kly_SvgCheck::parse(kly_TubePlots::powerBalance(*xband_).render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  // Each part by what its name (power and share follow) says it is.
  std::map<std::string, kly_SvgSeries::Box> part;
  for (const auto& [name, series] : svg.series) {
    ASSERT_EQ(series.boxes.size(), 1u) << name;
    for (const char* kind : {"spent beam leaving", "spent beam", "output cavity walls", "output", "other cavities"}) {
      if (name.rfind(kind, 0) == 0) {
        part.emplace(kind, series.boxes[0]);
        break;
      }
    }
  }
  ASSERT_EQ(part.size(), 5u);
  const std::vector<kly_SvgSeries::Box> parts = {part["output"], part["output cavity walls"], part["other cavities"],
                                                 part["spent beam"]};
  const kly_SvgSeries::Box measured = part["spent beam leaving"];
  // The parts follow each other from 0 to 100 % of the plot's width, each as wide as its share.
  const double width = kRightEdge - kLeft;
  EXPECT_NEAR(parts[0].x, kLeft, 0.01);
  for (std::size_t i = 1; i < parts.size(); ++i) EXPECT_NEAR(parts[i].x, parts[i - 1].x + parts[i - 1].width, 0.02);
  EXPECT_NEAR(parts.back().x + parts.back().width, kRightEdge, 0.05);
  EXPECT_NEAR(parts[0].width, width * b.output / b.launched, 0.02);
  // The measured spent beam ends where the balance does.
  EXPECT_NEAR(measured.x + measured.width, kRightEdge, 0.05);
  EXPECT_NEAR(measured.width, width * b.spentMeasured / b.launched, 0.02);
  bool noted = false;
  for (const std::string& t : svg.texts)
    noted = noted || t.find("differ by 0.31 % of the beam power") != std::string::npos;
  EXPECT_TRUE(noted);
}

TEST_F(TubePlotsTest, TheBunchingPlotEndsWhereTheLastCavitysFieldEnds) {
  const kly_SvgCheck svg = kly_SvgCheck::parse(kly_TubePlots::bunching(*xband_).render());
  ASSERT_TRUE(svg.wellFormed) << svg.error;
  const auto& simulated = svg.series.at("simulated I1/I0").points;
  ASSERT_GT(simulated.size(), 100u);
  EXPECT_NEAR(simulated.back().first, kRightEdge, 0.01);  // the field's end, the plot's right edge
  EXPECT_NEAR(simulated.front().first, kLeft, 0.01);      // the simulation's grid starts the plot
  // The last point lies on the simulated profile at the field's end.
  const kly_DiskSimulation& s = *xband_->simulation();
  const double zEnd = xband_->built().cavity(2).getFieldZMax();
  EXPECT_LT(zEnd, s.getBunchingGridEnd());
  EXPECT_EQ(svg.series.at("analytic I1/I0").points.size(), 200u);
}

}  // namespace
