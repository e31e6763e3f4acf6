#pragma once

// Start-up and exit of the program on Qt: one running instance per user; a
// second start hands its file name to the first and ends.

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "app/Kernel.h"
#include "qt/LocalInstanceChannel.h"

// A single-instance message, sent synchronously to the main window: the
// window opens Data as a file when Marker is kOpenFileMarker and ignores
// any other marker.
class TCopyDataEvent : public QEvent {
 public:
  TCopyDataEvent(unsigned marker, std::string data)
      : QEvent(EventType()), FMarker(marker), FData(std::move(data)) {}
  static QEvent::Type EventType();
  unsigned Marker() const { return FMarker; }
  const std::string& Data() const { return FData; }

 private:
  unsigned FMarker;
  std::string FData;
};

// The desktop session ends (SIGTERM, SIGHUP): sent to the main window just
// before the program closes it, so that it keeps what must survive.
class TEndSessionEvent : public QEvent {
 public:
  TEndSessionEvent() : QEvent(EventType()) {}
  static QEvent::Type EventType();
};

// A window owned by the application object; freeing the component frees the window.
class TFormComponent : public TComponent {
 public:
  explicit TFormComponent(std::unique_ptr<QWidget> form) : FForm(form.release()) {}
  ~TFormComponent() override { delete FForm.data(); }
  bool IsForm() const override { return true; }
  QWidget* Form() const { return FForm; }

 private:
  QPointer<QWidget> FForm;
};

// Hands a window to the application object, which frees it at exit.
QWidget* AddForm(std::unique_ptr<QWidget> form);

// Makes the main window; it opens `firstArgument` itself when not empty.
using TMainFormFactory = std::function<std::unique_ptr<QWidget>(const std::string& firstArgument)>;

// The program's services on this desktop: the shell and the registry file.
TAppServices ProgramServices();

// Runs the whole program and returns its exit code:
//  1. the user-interface framework is initialised;
//  2. App is created (SystemFunctions, Settings, the settings loaded);
//  3. the application object is initialised;
//  4. the running instance is looked for;
//  5. if there is one, the first argument (empty when none; a relative name
//     made absolute) is sent to it, this start waits until it has been
//     handled and ends; App is not destroyed, so no settings are written;
//  6. otherwise (also when the running instance did not answer in time)
//     the main window is made, the message loop runs until it has
//     closed, and App is destroyed (forms freed, settings saved).
// SIGTERM and SIGHUP end the message loop the same way: the main window
// hears TEndSessionEvent, open dialogs close without an answer, the main
// window closes.
// `limits` bound the hand-over (tests shorten them).
int RunProgram(int argc, char* argv[], const TMainFormFactory& createMainForm,
               platform::InstanceChannelLimits limits = {});
