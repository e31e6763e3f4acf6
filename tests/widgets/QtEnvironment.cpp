// The widgets need an application object for the whole run, freed before the
// program's end.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class TQtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { FApp = std::make_unique<QApplication>(FArgc, FArgv); }
  void TearDown() override { FApp.reset(); }

 private:
  int FArgc = 1;
  char FName[8] = "widgets";
  char* FArgv[2] = {FName, nullptr};
  std::unique_ptr<QApplication> FApp;
};

const auto* const kQt = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace
