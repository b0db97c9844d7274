// The command interpreter behind MGlobal::executeCommand. It understands the few
// statements plug-ins send: a global string declaration, the main progress bar's begin
// and end edits, and skinCluster. Statements are split at ';' outside double quotes and
// words at white space; a quoted word keeps its spaces and semicolons, and inside it a
// backslash takes the next byte as it is (\" is a quote, \\ a backslash), so any name
// can be passed. A text stops at its first failing statement. Every text run is logged
// with its final status.
#include "Core.h"

#include <maya/MGlobal.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

using namespace standin::core;

namespace {

bool splitStatements(const std::string& text, std::vector<std::vector<std::string>>& statements) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false, escaped = false;
  auto endWord = [&] {
    if (inWord) words.push_back(word);
    word.clear();
    inWord = false;
  };
  for (char c : text) {
    if (escaped) {
      word += c;
      escaped = false;
      continue;
    }
    if (quoted) {
      if (c == '\\')
        escaped = true;
      else if (c == '"')
        quoted = false;
      else
        word += c;
      continue;
    }
    if (c == '"') {
      quoted = true;
      inWord = true;
    } else if (c == ';') {
      endWord();
      if (!words.empty()) statements.push_back(std::move(words));
      words.clear();
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      endWord();
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quoted || escaped) return false;
  endWord();
  if (!words.empty()) statements.push_back(std::move(words));
  return true;
}

MStatus fail(const std::string& message) {
  MGlobal::displayError(MString(message.c_str()));
  return MStatus::kFailure;
}

MStatus globalCommand(const std::vector<std::string>& w, std::vector<std::string>&) {
  if (w.size() == 3 && w[1] == "string" && w[2].size() > 1 && w[2][0] == '$') return MStatus::kSuccess;
  return fail("global: only \"global string $name\" declarations are supported.");
}

bool parseInt(const std::string& s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (s.empty() || *end) return false;
  out = (int)v;
  return true;
}

// progressBar -edit (-beginProgress | -endProgress | -status T | -maxValue N |
// -isInterruptable B | -progress N | -step N)... $control
MStatus progressBarCommand(const std::vector<std::string>& w, std::vector<std::string>&) {
  Scene& s = scene();
  Progress next = s.progress;
  bool edit = false, begin = false, end = false;
  size_t i = 1;
  for (; i < w.size() && w[i].size() > 1 && w[i][0] == '-'; ++i) {
    const std::string& f = w[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= w.size()) return false;
      out = w[++i];
      return true;
    };
    std::string v;
    int n = 0;
    if (f == "-edit" || f == "-e")
      edit = true;
    else if (f == "-beginProgress" || f == "-bp")
      begin = true;
    else if (f == "-endProgress" || f == "-ep")
      end = true;
    else if (f == "-status" || f == "-st") {
      if (!value(v)) return fail("progressBar: flag " + f + " needs a value.");
      next.status = v;
    } else if (f == "-maxValue" || f == "-max") {
      if (!value(v) || !parseInt(v, n)) return fail("progressBar: flag " + f + " needs a number.");
      next.maxValue = n;
    } else if (f == "-progress" || f == "-pr") {
      if (!value(v) || !parseInt(v, n)) return fail("progressBar: flag " + f + " needs a number.");
      next.value = n;
    } else if (f == "-step" || f == "-s") {
      if (!value(v) || !parseInt(v, n)) return fail("progressBar: flag " + f + " needs a number.");
      next.value += n;
    } else if (f == "-isInterruptable" || f == "-ii") {
      if (!value(v)) return fail("progressBar: flag " + f + " needs a value.");
    } else {
      return fail("progressBar: unknown flag " + f + ".");
    }
  }
  if (!edit) return fail("progressBar: only -edit is supported.");
  if (i + 1 != w.size() || w[i].empty() || w[i][0] != '$')
    return fail("progressBar: expected one control variable after the flags.");
  if (begin && end) return fail("progressBar: -beginProgress and -endProgress together.");
  if (begin) {
    next.active = true;
    next.value = 0;
    ++next.beginCount;
  }
  if (end) {
    next.active = false;
    ++next.endCount;
  }
  s.progress = next;
  if (s.echo && begin) std::fprintf(stderr, "[progress] %s (0/%d)\n", next.status.c_str(), next.maxValue);
  if (s.echo && end) std::fprintf(stderr, "[progress] done\n");
  return MStatus::kSuccess;
}

void installHandlers(Scene& s) {
  if (!s.handlers.empty()) return;
  s.handlers["global"] = globalCommand;
  s.handlers["progressBar"] = progressBarCommand;
  s.handlers["skinCluster"] = skinClusterCommand;
}

}  // namespace

namespace standin::core {

MStatus runCommandText(const std::string& text, std::vector<std::string>& result) {
  Scene& s = scene();
  installHandlers(s);
  MStatus status = MStatus::kSuccess;
  std::vector<std::vector<std::string>> statements;
  if (s.failCommand) {
    s.failCommand = false;
    status = fail("Command failed (injected fault).");
  } else if (!splitStatements(text, statements)) {
    status = fail("Unterminated string in command text.");
  } else {
    for (const auto& words : statements) {
      auto h = s.handlers.find(words[0]);
      status = h == s.handlers.end() ? fail("Cannot find procedure \"" + words[0] + "\".") : h->second(words, result);
      if (!status) break;
    }
  }
  s.commandLog.push_back({text, status});
  return status;
}

}  // namespace standin::core

MStatus MGlobal::executeCommand(const MString& command, bool, bool) {
  std::vector<std::string> result;
  return runCommandText(str(command), result);
}

MStatus MGlobal::executeCommand(const MString& command, MStringArray& result, bool, bool) {
  std::vector<std::string> words;
  MStatus s = runCommandText(str(command), words);
  result.clear();
  for (const std::string& w : words) result.append(MString(w.c_str()));
  return s;
}
