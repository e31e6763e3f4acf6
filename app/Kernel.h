#pragma once

// The program's kernel: the process-wide objects App, SystemFunctions and
// Settings, the application object that owns the windows, and the steps of
// start-up and exit that do not depend on the window system.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/SysFuncs.h"
#include "app/XdgPlaces.h"
#include "app/ini_store.h"
#include "platform/InstanceChannel.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

// Files compiled into the program: "DefINI", the default settings.
std::string_view AppResource(std::string_view name);

// Marks a single-instance message that carries a file to open.
constexpr unsigned kOpenFileMarker = 13107;

// Something the application object owns.
class TComponent {
 public:
  virtual ~TComponent() = default;
  virtual bool IsForm() const { return false; }
};

// The application object: owns the forms, in the order they were created.
class TApplication {
 public:
  TApplication() = default;
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  TComponent* InsertComponent(std::unique_ptr<TComponent> component);
  // Takes the first form out of the list; nullptr when there is none.
  std::unique_ptr<TComponent> RemoveFirstForm();
  std::size_t ComponentCount() const { return FComponents.size(); }
  // Frees every component, last first.
  void DestroyComponents();

 private:
  std::vector<std::unique_ptr<TComponent>> FComponents;
};

extern TApplication Application;

// What the kernel reaches of the platform.
struct TAppServices {
  std::string ExeName;                     // empty: the running program
  std::unique_ptr<platform::Shell> Shell;  // none: OpenURL does nothing
  TRegistryOpener OpenRegistry;            // none: associations have no effect
};

class TApp {
 public:
  // Creates SystemFunctions, then Settings, then loads the settings.
  explicit TApp(TAppServices services = {});
  // Frees all forms, saves the settings (errors swallowed), frees Settings
  // and SystemFunctions.
  ~TApp();
  TApp(const TApp&) = delete;
  TApp& operator=(const TApp&) = delete;

  // From the settings file when it exists, else from the built-in defaults.
  void LoadSettings();
  // The program file's path with the extension ".ini" while the program's
  // folder can be written, else the settings file of the user's
  // configuration folder (app/XdgPlaces.h).
  std::string SettingsPath() const { return FPlaces.SettingsFile; }
  // Where new documents are made: the program's folder, or the user's
  // documents folder; ends in "/".
  const std::string& DocumentsFolder() const { return FPlaces.DocumentsFolder; }
  // Opens the address with the program the desktop associates with it.
  void OpenURL(const std::string& address);

  std::unique_ptr<platform::Registry> OpenRegistry() const;
  platform::Shell* Shell() const { return FServices.Shell.get(); }

 private:
  TAppServices FServices;
  places::TPlaces FPlaces;  // decided once, at start
  // The settings file exists but could not be read: it is not overwritten.
  bool FKeepSettingsFile = false;
};

extern TApp* App;
extern TSystemFunctions* SystemFunctions;
extern TIniStore* Settings;

// Frees the application object's forms one after the other, first first,
// until none is left.
void FreeAllForms();

// Finds the running instance and hands `firstArgument` to it (a relative name
// resolved against this start's working folder), or becomes the running
// instance, whose messages go to `onMessage`. True when this start handed
// over and must end. When the running instance does not answer in time, or
// refuses the message, this start runs on with a window of its own (without
// listening) and says so on the standard error.
bool HandOverToRunningInstance(platform::InstanceChannel& channel, const std::string& firstArgument,
                               const platform::InstanceChannel::Handler& onMessage);
