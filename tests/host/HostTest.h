#pragma once
// Shared fixture of the host tests: every test starts from a fresh default scene with
// the console echo off.
#include <gtest/gtest.h>
#include <tessahost/StandIn.h>

#include <string>
#include <utility>
#include <vector>

class HostTest : public ::testing::Test {
protected:
  void SetUp() override {
    standin::resetHost();
    standin::setConsoleEcho(false);
  }
};

inline std::vector<std::pair<standin::ConsoleKind, std::string>> consoleLines() {
  std::vector<std::pair<standin::ConsoleKind, std::string>> lines;
  for (unsigned i = 0; i < standin::consoleCount(); ++i)
    lines.emplace_back(standin::consoleKind(i), standin::consoleText(i).asChar());
  return lines;
}

inline std::string s(const MString& m) { return m.asChar(); }
