// Console entries and the command interpreter.
#include "HostTest.h"

#include <maya/MGlobal.h>

using standin::ConsoleKind;

class HostConsole : public HostTest {};

TEST_F(HostConsole, EachDisplayCallIsOneEntryWithTheExactText) {
  MGlobal::displayInfo("Opening \"a.tsl\" for writing.");
  MGlobal::displayWarning("WARNING: ");
  MGlobal::displayWarning("line one\r\n");
  MGlobal::displayError("");
  auto lines = consoleLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], std::make_pair(ConsoleKind::Info, std::string("Opening \"a.tsl\" for writing.")));
  EXPECT_EQ(lines[1], std::make_pair(ConsoleKind::Warning, std::string("WARNING: ")));
  EXPECT_EQ(lines[2], std::make_pair(ConsoleKind::Warning, std::string("line one\r\n")));
  EXPECT_EQ(lines[3], std::make_pair(ConsoleKind::Error, std::string()));
  standin::clearConsole();
  EXPECT_EQ(standin::consoleCount(), 0u);
}

class HostCommands : public HostTest {};

TEST_F(HostCommands, ProgressBarBeginAndEndAsTheExporterSendsThem) {
  const char* begin =
      "global string $gMainProgressBar;progressBar -edit -beginProgress -isInterruptable true "
      "-status \"Progress...\" -maxValue 256 $gMainProgressBar;";
  ASSERT_TRUE(MGlobal::executeCommand(begin));
  standin::ProgressState p = standin::progressState();
  EXPECT_TRUE(p.active);
  EXPECT_EQ(p.beginCount, 1u);
  EXPECT_EQ(s(p.status), "Progress...");
  EXPECT_EQ(p.maxValue, 256);
  ASSERT_TRUE(MGlobal::executeCommand("progressBar -edit -endProgress $gMainProgressBar;"));
  p = standin::progressState();
  EXPECT_FALSE(p.active);
  EXPECT_EQ(p.endCount, 1u);
  ASSERT_EQ(standin::commandLogCount(), 2u);
  EXPECT_EQ(s(standin::commandLogText(0)), begin);
  EXPECT_TRUE(standin::commandLogStatus(1));
  EXPECT_EQ(standin::consoleCount(), 0u);
}

TEST_F(HostCommands, UnknownOrMalformedTextsFailWithAnErrorEntry) {
  struct Case {
    const char* text;
    int statementsRun;  // progress begins recorded before the failure
  } cases[] = {
      {"polyCube -w 2;", 0},
      {"progressBar -edit -beginProgress -maxValue 10 $bar; fooBar; progressBar -edit -beginProgress $bar;", 1},
      {"progressBar -beginProgress $bar;", 0},                 // not an edit
      {"progressBar -edit -maxValue x $bar;", 0},              // bad number
      {"progressBar -edit -beginProgress -status \"open", 0},  // unterminated quote
      {"global int $x;", 0},
  };
  for (const Case& c : cases) {
    standin::resetScene();
    MStringArray result;
    EXPECT_EQ(MGlobal::executeCommand(c.text, result), MStatus::kFailure) << c.text;
    auto lines = consoleLines();
    ASSERT_EQ(lines.size(), 1u) << c.text;
    EXPECT_EQ(lines[0].first, ConsoleKind::Error);
    EXPECT_EQ(standin::progressState().beginCount, (unsigned)c.statementsRun) << c.text;
    ASSERT_EQ(standin::commandLogCount(), 1u);
    EXPECT_EQ(standin::commandLogStatus(0), MStatus::kFailure);
  }
  EXPECT_TRUE(MGlobal::executeCommand("  ;; global string $spaced ;"));
}

TEST_F(HostCommands, InjectedFaultFailsTheNextCommandOnly) {
  standin::failNext(standin::Fault::ExecuteCommand);
  EXPECT_EQ(MGlobal::executeCommand("global string $a;"), MStatus::kFailure);
  EXPECT_TRUE(MGlobal::executeCommand("global string $a;"));
}
