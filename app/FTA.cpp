#include "app/FTA.h"

#include <algorithm>
#include <stdexcept>

namespace {

// A registry call failed: ends the public operation quietly.
class ERegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool SameText(const std::string& a, const std::string& b) {
  auto fold = [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
  };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return fold(x) == fold(y); });
}

}  // namespace

TFileTypeAssociator::TFileTypeAssociator(std::string prefix, TRegistryOpener openRegistry,
                                         platform::Shell* shell)
    : FPrefix(std::move(prefix)), FOpenRegistry(std::move(openRegistry)), FShell(shell) {}

template <typename Body>
void TFileTypeAssociator::Session(Body body) {
  try {
    FRegistry = FOpenRegistry ? FOpenRegistry() : nullptr;
    if (FRegistry) body();
  } catch (const std::exception&) {
    // Access denied, a key that cannot be opened: the operation ends here,
    // keeping what it did so far.
  }
  try {
    if (FRegistry) FRegistry->Flush();
  } catch (const std::exception&) {
  }
  FRegistry.reset();
  CloseKey();
}

void TFileTypeAssociator::OpenKey(const std::string& path, bool canCreate) {
  bool ok = canCreate ? FRegistry->CreateKey(path) : FRegistry->KeyExists(path);
  if (!ok) throw ERegistryError("Cannot open key " + path);
  FOpenKey = path;
}

std::string TFileTypeAssociator::ReadDefault() { return FRegistry->ReadValue(FOpenKey, "").value_or(""); }

void TFileTypeAssociator::Write(const std::string& name, const std::string& value) {
  if (!FRegistry->WriteValue(FOpenKey, name, value)) throw ERegistryError("Cannot write " + name);
}

void TFileTypeAssociator::ReplaceDefault(const std::string& value) {
  std::string old = ReadDefault();
  if (SameText(old, value)) return;  // an earlier backup is never overwritten by our own value
  Write(Name(".Backup"), old);
  Write("", value);
}

void TFileTypeAssociator::RestoreDefault() {
  auto backup = FRegistry->ReadValue(FOpenKey, Name(".Backup"));
  if (!backup) return;
  Write("", *backup);
  FRegistry->DeleteValue(FOpenKey, Name(".Backup"));
}

void TFileTypeAssociator::OpenFileType() {
  FKeyPath = "\\." + FExtension;
  OpenKey(FKeyPath, true);
  ReplaceDefault(FExtension + "file");
  std::string identifier = ReadDefault();
  CloseKey();
  FKeyPath = "\\" + identifier;
}

// Moves the verb's subkey (a drop handler, a DDE conversation) aside so the
// shell runs the command line instead.
void TFileTypeAssociator::MoveAside(const std::string& verb, const std::string& subkey) {
  std::string from = verb + "\\" + subkey;
  if (!FRegistry->KeyExists(from)) return;
  std::string to = verb + "\\" + Name(".Backup." + subkey);
  if (FRegistry->KeyExists(to) && !FRegistry->DeleteKey(to)) throw ERegistryError("Cannot delete " + to);
  if (!FRegistry->MoveKey(from, to)) throw ERegistryError("Cannot move " + from);
}

void TFileTypeAssociator::SetMenu(const TFTAMenu& menu) {
  Session([&] {
    OpenFileType();
    OpenKey(FKeyPath + "\\Shell", true);
    ReplaceDefault(menu.DefaultVerb);
    for (const TFTAAction& action : menu.Actions) {
      std::string verb = FKeyPath + "\\Shell\\" + action.Name;
      bool existed = FRegistry->KeyExists(verb);
      OpenKey(verb, true);
      if (!existed) Write(Name(".Delete"), "Delete");
      if (!action.Caption.empty()) ReplaceDefault(action.Caption);
      if (FRegistry->ValueExists(verb, "LegacyDisable"))
        FRegistry->RenameValue(verb, "LegacyDisable", Name(".Backup.LegacyDisable"));
      MoveAside(verb, "DropTarget");
      MoveAside(verb, "ddeexec");
      OpenKey(verb + "\\Command", true);
      ReplaceDefault(action.Command);
      CloseKey();
    }
  });
}

void TFileTypeAssociator::SetIcon(const std::string& iconLocation) {
  Session([&] {
    OpenFileType();
    OpenKey(FKeyPath + "\\DefaultIcon", true);
    ReplaceDefault(iconLocation);
    CloseKey();
  });
}

void TFileTypeAssociator::Unassociate() {
  Session([&] {
    FKeyPath = "\\." + FExtension;
    OpenKey(FKeyPath, true);
    std::string identifier = ReadDefault();
    RestoreDefault();
    CloseKey();
    if (!SameText(identifier, FExtension + "file")) return;  // the rest belongs to another program

    FKeyPath = "\\" + identifier;
    for (const std::string& key : {FKeyPath, FKeyPath + "\\DefaultIcon"}) {
      OpenKey(key, true);
      RestoreDefault();
      CloseKey();
    }
    OpenKey(FKeyPath + "\\Shell", false);
    RestoreDefault();
    std::vector<std::string> verbs = FRegistry->SubKeys(FOpenKey);
    CloseKey();

    for (const std::string& name : verbs) {
      std::string verb = FKeyPath + "\\Shell\\" + name;
      OpenKey(verb, false);
      if (FRegistry->ReadValue(verb, Name(".Delete")) == "Delete") {
        CloseKey();
        if (!FRegistry->DeleteKey(verb)) throw ERegistryError("Cannot delete " + verb);
        continue;
      }
      RestoreDefault();
      if (FRegistry->ValueExists(verb, Name(".Backup.LegacyDisable")))
        FRegistry->RenameValue(verb, Name(".Backup.LegacyDisable"), "LegacyDisable");
      for (const char* subkey : {"DropTarget", "ddeexec"}) {
        std::string backup = verb + "\\" + Name(std::string(".Backup.") + subkey);
        if (FRegistry->KeyExists(backup)) FRegistry->MoveKey(backup, verb + "\\" + subkey);
      }
      CloseKey();
      if (FRegistry->KeyExists(verb + "\\Command")) {
        OpenKey(verb + "\\Command", false);
        RestoreDefault();
        CloseKey();
      }
    }
  });
}

std::string TFileTypeAssociator::GetCommand() {
  std::string command;
  Session([&] {
    OpenKey("\\." + FExtension, false);
    std::string identifier = ReadDefault();
    OpenKey("\\" + identifier + "\\Shell", false);
    std::string verb = "\\" + identifier + "\\Shell\\" + ReadDefault();
    OpenKey(verb, false);
    if (FRegistry->KeyExists(verb + "\\DropTarget") || FRegistry->ValueExists(verb, "LegacyDisable")) return;
    OpenKey(verb + "\\Command", false);
    command = ReadDefault();
  });
  try {
    if (!command.empty() && FShell && !FShell->DesktopRuns(FExtension, command)) command.clear();
  } catch (const std::exception&) {
    command.clear();
  }
  return command;
}

void TFileTypeAssociator::NotifyShell() {
  if (FShell) FShell->NotifyAssociationsChanged();
}

std::vector<std::pair<std::string, std::string>> RegisteredCommands(const TRegistryOpener& openRegistry) {
  std::vector<std::string> extensions;
  if (std::unique_ptr<platform::Registry> registry = openRegistry ? openRegistry() : nullptr) {
    for (const std::string& key : registry->SubKeys(""))
      if (key.size() > 1 && key[0] == '.') extensions.push_back(key.substr(1));
  }
  std::vector<std::pair<std::string, std::string>> commands;
  for (std::string& extension : extensions) {
    TFileTypeAssociator registry("", openRegistry, nullptr);  // the registry's word alone
    registry.SetExtension(extension);
    std::string command = registry.GetCommand();
    commands.emplace_back(std::move(extension), std::move(command));
  }
  return commands;
}
