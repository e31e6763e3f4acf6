#pragma once

// TFileWalk: the files under a folder that a search or a file list should
// see, as git sees them.
//
// Inside a git working tree (found upwards from the folder, as git finds it)
// the ignore rules are git's own, asked of libgit2: the .gitignore files of
// every folder from the working tree's top down, .git/info/exclude and the
// user's core.excludesFile, negations included. As in git, a file the index
// tracks is never ignored, even where a rule names it or its folder. Outside
// a working tree no ignore file applies (git and ripgrep do the same): every
// file is listed, and so where the repository cannot be opened (a
// configuration file that cannot be read). The .git folder itself is never
// entered.
//
// Only regular files are listed: FIFOs, sockets and devices are passed over
// by their type, never opened. Symbolic links are followed, to files and to
// folders, but every folder is entered once at most (by its device and inode),
// so a link back to a folder above it, or a loop of links, ends there. A
// folder that cannot be read is passed over. Each folder's entries come in
// byte order of their names.

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class TFileWalk {
 public:
  // Opens the repository around `folder`, if there is one.
  explicit TFileWalk(std::string folder);
  ~TFileWalk();
  TFileWalk(const TFileWalk&) = delete;
  TFileWalk& operator=(const TFileWalk&) = delete;

  // Whether git's rules apply (the folder lies in a working tree).
  bool InRepository() const;
  // The folder, without a trailing slash.
  const std::string& Folder() const { return folder_; }

  // Calls `onFile` with the path of each file, relative to the folder
  // ("a/b.php"), and whether it is reached through a symbolic link (to be
  // opened without O_NOFOLLOW then). Stops when `onFile` returns false or
  // `stop` is set (looked at before each entry). Without `checkFiles`, the
  // rules are applied to folders only, and files are left for IgnoredFile,
  // which other threads may ask of walks of their own: asking git about a
  // file costs a look at every ignore file above it, which is worth sharing
  // out among the cores.
  using TOnFile = std::function<bool(std::string_view path, bool viaLink)>;
  void Run(const TOnFile& onFile, const std::atomic<bool>& stop, bool checkFiles = true);
  // Whether git leaves out the file `path` (relative to the folder).
  bool IgnoredFile(std::string_view path);

 private:
  struct Git;
  std::string folder_;
  std::unique_ptr<Git> git_;
};
