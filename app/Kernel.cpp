#include "app/Kernel.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <system_error>

#include "editor/FileIO.h"
#include "editor/Streams.h"

TApplication Application;
TApp* App = nullptr;
TSystemFunctions* SystemFunctions = nullptr;
TIniStore* Settings = nullptr;

TComponent* TApplication::InsertComponent(std::unique_ptr<TComponent> component) {
  FComponents.push_back(std::move(component));
  return FComponents.back().get();
}

std::unique_ptr<TComponent> TApplication::RemoveFirstForm() {
  auto it = std::find_if(FComponents.begin(), FComponents.end(),
                         [](const auto& component) { return component->IsForm(); });
  if (it == FComponents.end()) return nullptr;
  std::unique_ptr<TComponent> form = std::move(*it);
  FComponents.erase(it);
  return form;
}

void TApplication::DestroyComponents() {
  while (!FComponents.empty()) {
    std::unique_ptr<TComponent> last = std::move(FComponents.back());
    FComponents.pop_back();
  }
}

void FreeAllForms() {
  // A form's destructor may create or free other forms: look again each time.
  while (std::unique_ptr<TComponent> form = Application.RemoveFirstForm()) form.reset();
}

TApp::TApp(TAppServices services) : FServices(std::move(services)) {
  App = this;
  SystemFunctions = new TSystemFunctions(FServices.ExeName);
  FPlaces = places::ProgramPlaces(SystemFunctions->GetExeName());
  Settings = new TIniStore();
  LoadSettings();
}

TApp::~TApp() {
  FreeAllForms();
  if (!FKeepSettingsFile) {
    try {
      places::MakeSettingsFolder(FPlaces);
      Settings->SaveToFile(SettingsPath());
    } catch (const std::exception&) {
      // An unwritable settings file: this run's settings are lost.
    }
  }
  delete Settings;
  Settings = nullptr;
  delete SystemFunctions;
  SystemFunctions = nullptr;
  if (App == this) App = nullptr;
}

void TApp::LoadSettings() {
  std::string path = SettingsPath();
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
    try {
      // Anything but a plain file (a pipe, a device) could block or never end.
      if (!S_ISREG(info.st_mode)) throw EFileError("Not a regular file: " + path);
      Settings->LoadFromFile(path);
    } catch (const std::exception&) {
      // Run on with what was read; the file keeps its content.
      FKeepSettingsFile = true;
    }
    return;
  }
  TResourceStream defaults(AppResource("DefINI"));
  Settings->LoadFromStream(defaults);
}

void TApp::OpenURL(const std::string& address) {
  try {
    if (FServices.Shell) FServices.Shell->OpenURL(address);
  } catch (const std::exception&) {
  }
}

std::unique_ptr<platform::Registry> TApp::OpenRegistry() const {
  return FServices.OpenRegistry ? FServices.OpenRegistry() : nullptr;
}

bool HandOverToRunningInstance(platform::InstanceChannel& channel, const std::string& firstArgument,
                               const platform::InstanceChannel::Handler& onMessage) {
  using Result = platform::InstanceChannel::SendResult;
  // The running instance works in a folder of its own: a relative name is
  // sent as the file it names here.
  std::string name = firstArgument;
  if (!name.empty() && name.front() != '/') {
    std::error_code error;
    std::filesystem::path here = std::filesystem::current_path(error);
    if (error) return false;  // where the name points cannot be said: run on alone
    name = (here / name).string();
  }
  // Two starts at the same moment: the one that fails to listen finds the
  // other on its next try.
  for (int attempt = 0; attempt < 3; ++attempt) {
    switch (channel.SendToRunning(kOpenFileMarker, name)) {
      case Result::Handled:
        return true;
      case Result::NotHandled:
        // Ending now would leave the user with nothing: the file opens here.
        std::cerr << "Quorvel Editor: the running instance did not answer in time; this start opens a window "
                     "of its own\n";
        return false;
      case Result::NoInstance:
        break;
    }
    if (channel.Listen(onMessage)) return false;
  }
  return false;  // run on alone, without the hand-over
}
