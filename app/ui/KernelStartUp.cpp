#include "app/ui/KernelStartUp.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <vector>

#include "app/FTA.h"
#include "qt/ProcessMemory.h"
#include "qt/DesktopShell.h"
#include "qt/FileRegistry.h"
#include "qt/Fonts.h"
#include "qt/LocalInstanceChannel.h"

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

// SIGTERM and SIGHUP are handled in the message loop: the handler only
// writes the signal's number into a pipe whose reading end the loop
// watches. The pipe stays open to the end of the process, so that a signal
// arriving during the exit finds it.
int endSignalPipe[2] = {-1, -1};

extern "C" void OnEndSignal(int signal) {
  const int saved = errno;
  const char byte = static_cast<char>(signal);
  [[maybe_unused]] ssize_t n = ::write(endSignalPipe[1], &byte, 1);
  errno = saved;
}

class TEndSignals {
 public:
  explicit TEndSignals(std::function<void()> onEnd) {
    if (endSignalPipe[0] < 0 && ::pipe2(endSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = std::make_unique<QSocketNotifier>(endSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this, onEnd = std::move(onEnd)] {
      char bytes[16];
      while (::read(endSignalPipe[0], bytes, sizeof bytes) > 0) {
      }
      if (ended_) return;
      ended_ = true;
      onEnd();
    });
    struct sigaction action {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
  }

 private:
  std::unique_ptr<QSocketNotifier> notifier_;
  bool ended_ = false;
};

}  // namespace

QEvent::Type TCopyDataEvent::EventType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

QEvent::Type TEndSessionEvent::EventType() {
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
      [open = services.OpenRegistry] { return RegisteredCommands(open); }, platform::XdgFolders::FromEnvironment(),
      TSystemFunctions().GetExeName());
  return services;
}

int RunProgram(int argc, char* argv[], const TMainFormFactory& createMainForm,
               platform::InstanceChannelLimits limits) {
  platform::UseOneHeapForAllThreads();
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
    platform::BringForward(mainForm);
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

  // The session's end closes like "Discard changes and Exit": the main
  // window is told first, every dialog goes without an answer.
  TEndSignals endSignals([&] {
    if (mainForm) {
      TEndSessionEvent end;
      QCoreApplication::sendEvent(mainForm, &end);
    }
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (widget != mainForm && widget->isVisible()) widget->close();
    if (mainForm) mainForm->close();
    QCoreApplication::quit();
  });
  application.exec();

  channel.reset();  // a start from now on becomes the running instance itself
  delete App;
  Application.DestroyComponents();  // what is left while the framework still runs
  return 0;
}
