#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include "qt/Fonts.h"
#include "tests/support/TempDir.h"

// fontconfig keeps its caches to the end of the process; they are not ours to free.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "quorvel-tests";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The recovery journals of the windows a test makes stay out of the user's state folder.
  static TempDir state;
  qputenv("XDG_STATE_HOME", QByteArray::fromStdString(state.Path()));
  static QApplication* app = [] {
    auto* made = new QApplication(argc, argv);
    platform::InstallFontSubstitutes();  // the fonts the program itself draws with
    return made;
  }();
  return *app;
}

void Settle(int rounds) {
  for (int i = 0; i < rounds; ++i) QApplication::processEvents();
}

namespace {

// Every suite linking this file has its application object before its first test.
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { TestApplication(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
