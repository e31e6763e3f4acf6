// Starts like the editor; its main window writes what it receives to
// probe.log beside the program, and closes when handed a file named "quit".
// PROBE_ANSWER_MS shortens the time a second start waits for its answer.

#include <QThread>
#include <QWidget>
#include <cstdlib>
#include <fstream>

#include "app/ui/KernelStartUp.h"

namespace {

void Log(const std::string& line) {
  std::ofstream(SystemFunctions->GetExePath() + "probe.log", std::ios::app) << line << "\n";
}

class TProbeForm : public QWidget {
 public:
  explicit TProbeForm(const std::string& firstArgument) { Log("start " + firstArgument); }
  ~TProbeForm() override {
    Settings->WriteString("Probe.Form", "destroyed");
    Log("destroyed");
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != TCopyDataEvent::EventType()) return QWidget::event(event);
    auto* message = static_cast<TCopyDataEvent*>(event);
    if (message->Marker() != kOpenFileMarker) return true;
    QThread::msleep(300);  // a slow open: the sender has to wait for it
    Log("open " + message->Data());
    const std::string& name = message->Data();
    if (name == "quit" || name.ends_with("/quit")) close();
    return true;
  }
};

}  // namespace

int main(int argc, char* argv[]) {
  platform::InstanceChannelLimits limits;
  if (const char* answerMs = std::getenv("PROBE_ANSWER_MS")) limits.AnswerMs = std::atoi(answerMs);
  return RunProgram(
      argc, argv, [](const std::string& first) { return std::make_unique<TProbeForm>(first); }, limits);
}
