#pragma once

// Makes the program the handler of a file extension in the class registry,
// tells whether it is, and undoes that. What it replaces it keeps under
// backup names formed from a prefix; what it creates it marks, so that
// undoing restores the former handler and removes only what was added.
//
// Every public operation opens its own registry accessor and frees it at its
// end; every error inside it is swallowed.

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Registry.h"
#include "platform/Shell.h"

// Every extension the registry holds (without its point) with the command line
// of its default verb, as the registry alone says (empty when it names none).
std::vector<std::pair<std::string, std::string>> RegisteredCommands(const TRegistryOpener& openRegistry);

struct TFTAAction {
  std::string Name;     // verb key name, e.g. "Edit"
  std::string Caption;  // menu text; empty leaves the verb's text alone
  std::string Command;  // command line of the verb
};

struct TFTAMenu {
  std::string DefaultVerb;
  std::vector<TFTAAction> Actions;
};

class TFileTypeAssociator {
 public:
  // Works on the registry `openRegistry` opens and tells `shell` (if any) of changes.
  TFileTypeAssociator(std::string prefix, TRegistryOpener openRegistry, platform::Shell* shell);

  // The extension worked on, without its point ("PHP"); "DAT" at first.
  const std::string& Extension() const { return FExtension; }
  void SetExtension(std::string extension) { FExtension = std::move(extension); }

  void SetMenu(const TFTAMenu& menu);
  void SetIcon(const std::string& iconLocation);
  void Unassociate();
  // The command line of the extension's default verb, or empty; empty too
  // when the desktop would not run that command's program for the extension.
  std::string GetCommand();
  void NotifyShell();

 private:
  template <typename Body>
  void Session(Body body);
  void OpenKey(const std::string& path, bool canCreate);
  void CloseKey() { FOpenKey.clear(); }
  std::string ReadDefault();
  void Write(const std::string& name, const std::string& value);
  void ReplaceDefault(const std::string& value);
  void RestoreDefault();
  void OpenFileType();
  void MoveAside(const std::string& verb, const std::string& subkey);
  std::string Name(const std::string& suffix) const { return FPrefix + suffix; }

  std::unique_ptr<platform::Registry> FRegistry;  // open during a public operation only
  std::string FKeyPath;                           // the extension key, then the file-type key
  std::string FPrefix;
  std::string FExtension = "DAT";

  TRegistryOpener FOpenRegistry;
  platform::Shell* FShell = nullptr;
  std::string FOpenKey;  // the key the helpers work on
};
