#include <QTimer>
#include <memory>

#include "app/ui/KernelStartUp.h"
#include "app/ui/WorkWnd.h"
#include "qt/AECmplList.h"

namespace {

std::unique_ptr<QWidget> CreateMainForm(const std::string& fileName) {
  InstallQtCompletionList();
  auto form = std::make_unique<TMainForm>(fileName);
  // Once the window shows: documents a program that died left unsaved.
  QTimer::singleShot(0, form.get(), [form = form.get()] { form->OfferRecovery(); });
  return form;
}

}  // namespace

int main(int argc, char* argv[]) { return RunProgram(argc, argv, CreateMainForm); }
