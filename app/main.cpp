#include <memory>

#include "app/KernelStartUp.h"
#include "app/WorkWnd.h"
#include "platform/qt/AECmplList.h"

namespace {

std::unique_ptr<QWidget> CreateMainForm(const std::string& fileName) {
  InstallQtCompletionList();
  return std::make_unique<TMainForm>(fileName);
}

}  // namespace

int main(int argc, char* argv[]) { return RunProgram(argc, argv, CreateMainForm); }
