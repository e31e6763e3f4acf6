#include "app/KernelStartUp.h"

#include <QApplication>
#include <QTimer>
#include <vector>

#include "platform/qt/DesktopShell.h"
#include "platform/qt/FileRegistry.h"
#include "platform/qt/Fonts.h"
#include "platform/qt/LocalInstanceChannel.h"

namespace {

// Ends the message loop once the main window has closed: an accepted close
// hides it (a close the window refuses leaves it shown and the loop
// running). The hide, not the close request, is watched: the close question
// runs a dialog of its own while the request is still being decided.
class TMainFormWatcher : public QObject {
 public:
  explicit TMainFormWatcher(QWidget* form) : QObject(form), FForm(form) {
    form->installEventFilter(this);
    // A window that deletes itself on closing ends the loop as well.
    QObject::connect(form, &QObject::destroyed, QCoreApplication::instance(), &QCoreApplication::quit);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == FForm && event->type() == QEvent::Hide) {
      QTimer::singleShot(0, this, [this] {
        if (!FForm->isVisible()) QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  QWidget* FForm;
};

}  // namespace

QEvent::Type TCopyDataEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QWidget* AddForm(std::unique_ptr<QWidget> form) {
  auto* component = static_cast<TFormComponent*>(
      Application.InsertComponent(std::make_unique<TFormComponent>(std::move(form))));
  return component->Form();
}

TAppServices ProgramServices() {
  TAppServices services;
  services.OpenRegistry = [] {
    return std::make_unique<platform::FileRegistry>(platform::FileRegistry::DefaultFileName());
  };
  services.Shell = std::make_unique<platform::DesktopShell>(
      services.OpenRegistry, platform::XdgFolders::FromEnvironment(), TSystemFunctions().GetExeName());
  return services;
}

int RunProgram(int argc, char* argv[], const TMainFormFactory& createMainForm,
               platform::InstanceChannelLimits limits) {
  QApplication application(argc, argv);
  platform::InstallFontSubstitutes();
  App = new TApp(ProgramServices());
  application.setQuitOnLastWindowClosed(false);  // the main window alone ends the loop

  std::string firstArgument = argc > 1 ? argv[1] : "";
  QPointer<QWidget> mainForm;
  bool mainFormMade = false;
  std::vector<std::pair<unsigned, std::string>> early;  // arrived while the main window was being made
  auto deliver = [&](unsigned marker, const std::string& bytes) {
    if (!mainFormMade) {
      early.emplace_back(marker, bytes);
      return;
    }
    if (!mainForm) return;
    TCopyDataEvent message(marker, bytes);
    QCoreApplication::sendEvent(mainForm, &message);
  };

  auto channel = std::make_unique<platform::LocalInstanceChannel>(
      platform::LocalInstanceChannel::DefaultSocketName(), limits);
  if (HandOverToRunningInstance(*channel, firstArgument, deliver)) return 0;

  mainForm = AddForm(createMainForm(firstArgument));
  mainFormMade = true;
  new TMainFormWatcher(mainForm);
  mainForm->show();
  for (const auto& [marker, bytes] : early) deliver(marker, bytes);
  early.clear();

  application.exec();

  channel.reset();  // a start from now on becomes the running instance itself
  delete App;
  Application.DestroyComponents();  // what is left while the framework still runs
  return 0;
}
