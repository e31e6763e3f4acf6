#pragma once

// TWindowQuestions: the workspace's questions, asked through the main
// window's Ask... functions (its message boxes and dialogs, or what a test
// put in their place).

#include "app/Workspace.h"

class TMainForm;

class TWindowQuestions : public TWorkspaceQuestions {
 public:
  explicit TWindowQuestions(TMainForm& form) : form_(form) {}

  std::string AskSaveFile() override;
  TAnswer AskSaveChanges(const std::string& text) override;
  TAnswer AskUnsaved(const std::vector<std::string>& fileNames) override;
  TAnswer AskRecover(const std::string& text) override;
  TAnswer AskOverwrite(const std::string& text) override;
  TAnswer AskReload(const std::string& text, bool recovered) override;
  void ReportError(const std::string& message) override;

 private:
  TMainForm& form_;
};
