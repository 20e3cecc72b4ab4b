#pragma once
// Answers the main window's file, name and replace-or-swap dialogs from a script and records what
// was asked, and answers its OK/Cancel questions the same way.

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "ViewDialogs.h"

namespace zumbel::test {

class ScriptedDialogs : public ViewDialogs {
 public:
  // Each file dialog takes the next answer; an empty one, or none left, is Cancel.
  std::deque<std::vector<std::string>> files;
  std::deque<std::optional<std::string>> names;
  std::vector<FileRequest> asked;
  std::vector<std::string> presets;
  // The Options dialog: what it was shown, and the answer (nothing is Cancel) made from that.
  std::function<std::optional<OptionsValues>(const OptionsValues&)> options;
  std::vector<OptionsValues> optionsShown;
  // The replace-or-swap question: each takes the next answer, Cancel when none is left.
  std::deque<OccupiedPadAnswer> padAnswers;
  std::vector<std::pair<std::string, bool>> padQuestions;  // (text, Swap offered)

  std::vector<std::string> openFiles(const FileRequest& request) override { return next(request); }
  std::optional<std::string> openFile(const FileRequest& request) override { return first(next(request)); }
  std::optional<std::string> saveFile(const FileRequest& request) override { return first(next(request)); }
  std::optional<std::string> askGroupName(const std::string& preset) override {
    presets.push_back(preset);
    if (names.empty()) return std::nullopt;
    auto name = names.front();
    names.pop_front();
    return name;
  }
  std::optional<OptionsValues> runOptions(const OptionsValues& values) override {
    optionsShown.push_back(values);
    return options ? options(values) : std::nullopt;
  }
  OccupiedPadAnswer askReplaceOrSwap(const std::string& text, bool offerSwap) override {
    padQuestions.emplace_back(text, offerSwap);
    if (padAnswers.empty()) return OccupiedPadAnswer::kCancel;
    const OccupiedPadAnswer answer = padAnswers.front();
    padAnswers.pop_front();
    return answer;
  }

 private:
  std::vector<std::string> next(const FileRequest& request) {
    asked.push_back(request);
    if (files.empty()) return {};
    auto answer = files.front();
    files.pop_front();
    return answer;
  }
  static std::optional<std::string> first(const std::vector<std::string>& v) {
    return v.empty() ? std::nullopt : std::optional<std::string>(v.front());
  }
};

// Records every message and OK/Cancel question; questions take the next scripted answer, Cancel
// when none is left.
class OkCancelPrompts : public RecordingPrompts {
 public:
  std::deque<bool> answers;
  std::vector<std::pair<std::string, std::string>> questions;
  bool askOkCancel(std::string_view text, std::string_view caption) override {
    questions.emplace_back(std::string(text), std::string(caption));
    if (answers.empty()) return false;
    const bool ok = answers.front();
    answers.pop_front();
    return ok;
  }
};

}  // namespace zumbel::test
