#include <memory>

#include "app/DocumentWindow.h"
#include "app/KernelStartUp.h"

namespace {

// The program's first window until the editor's main window takes its place:
// a document window that opens each file handed over by a second start in a
// window of its own.
class TStartWindow : public DocumentWindow {
 public:
  using DocumentWindow::DocumentWindow;

 protected:
  bool event(QEvent* event) override {
    if (event->type() != TCopyDataEvent::EventType()) return DocumentWindow::event(event);
    auto* message = static_cast<TCopyDataEvent*>(event);
    if (message->Marker() == kOpenFileMarker)
      AddForm(std::make_unique<DocumentWindow>(message->Data()))->show();
    return true;
  }
};

std::unique_ptr<QWidget> CreateMainForm(const std::string& fileName) {
  return std::make_unique<TStartWindow>(fileName);
}

}  // namespace

int main(int argc, char* argv[]) { return RunProgram(argc, argv, CreateMainForm); }
