#include "app/FileWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <git2.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <unordered_set>
#include <utility>
#include <vector>

struct TFileWalk::Git {
  git_repository* repo = nullptr;
  git_index* index = nullptr;
  std::string prefix;  // the folder relative to the working tree, "" or ending in '/'
  std::string path;    // scratch: the path asked about

  ~Git() {
    git_index_free(index);
    git_repository_free(repo);
  }

  // Whether git leaves out `rel` (a folder's path ends in '/'): a rule says
  // so and the index tracks nothing there.
  bool Ignored(std::string_view rel, bool folder) {
    path.assign(prefix).append(rel);
    if (folder) path += '/';
    int ignored = 0;
    if (git_ignore_path_is_ignored(&ignored, repo, path.c_str()) < 0 || !ignored) return false;
    if (!index) return true;
    if (!folder) return git_index_get_bypath(index, path.c_str(), 0) == nullptr;
    std::size_t at = 0;
    return git_index_find_prefix(&at, index, path.c_str()) != 0;
  }
};

namespace {

std::string RealPath(const std::string& path) {
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string out(real);
  free(real);
  return out;
}

struct TDirId {
  dev_t dev;
  ino_t ino;
  bool operator==(const TDirId&) const = default;
};
struct TDirIdHash {
  std::size_t operator()(const TDirId& d) const { return std::hash<ino_t>()(d.ino) * 31 + std::hash<dev_t>()(d.dev); }
};

struct TEntry {
  std::string name;
  unsigned char type;
};

}  // namespace

TFileWalk::TFileWalk(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  git_libgit2_init();
  // Only the ignore rules and the index are read, never a hook or a
  // command the repository's configuration names: a working tree of
  // another user (root looking into a user's checkout) is read as well.
  git_libgit2_opts(GIT_OPT_SET_OWNER_VALIDATION, 0);
  auto git = std::make_unique<Git>();
  if (git_repository_open_ext(&git->repo, folder_.c_str(), 0, nullptr) != 0 || git_repository_is_bare(git->repo)) {
    return;  // ~Git frees what was opened
  }
  const std::string top = RealPath(git_repository_workdir(git->repo));
  const std::string here = RealPath(folder_);
  if (here == top || here + '/' == top) {
    git->prefix.clear();
  } else if (here.starts_with(top.back() == '/' ? top : top + '/')) {
    git->prefix = here.substr(top.size() + (top.back() == '/' ? 0 : 1)) + '/';
  } else {
    return;
  }
  // Without an index (a new repository) nothing is tracked.
  if (git_repository_index(&git->index, git->repo) != 0) git->index = nullptr;
  git_ = std::move(git);
}

TFileWalk::~TFileWalk() {
  git_.reset();
  git_libgit2_shutdown();
}

bool TFileWalk::InRepository() const { return git_ != nullptr; }

bool TFileWalk::IgnoredFile(std::string_view path) { return git_ && git_->Ignored(path, false); }

void TFileWalk::Run(const TOnFile& onFile, const std::atomic<bool>& stop, bool checkFiles) {
  std::unordered_set<TDirId, TDirIdHash> entered;
  std::vector<std::string> folders{""};  // relative paths, "" or ending in '/'
  std::vector<TEntry> entries;
  std::string full, rel;
  while (!folders.empty() && !stop.load(std::memory_order_relaxed)) {
    const std::string dir = std::move(folders.back());
    folders.pop_back();
    full.assign(folder_).append("/").append(dir);
    const int fd = open(full.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) != 0 || !entered.insert({st.st_dev, st.st_ino}).second) {
      close(fd);
      continue;
    }
    DIR* d = fdopendir(fd);
    if (!d) {
      close(fd);
      continue;
    }
    entries.clear();
    while (const dirent* e = readdir(d)) {
      const std::string_view name(e->d_name);
      if (name == "." || name == ".." || name == ".git") continue;
      entries.push_back({std::string(name), e->d_type});
    }
    closedir(d);
    std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) { return a.name < b.name; });
    const std::size_t firstSub = folders.size();
    for (const TEntry& e : entries) {
      if (stop.load(std::memory_order_relaxed)) return;
      unsigned char type = e.type;
      bool viaLink = false;
      if (type == DT_UNKNOWN || type == DT_LNK) {
        full.assign(folder_).append("/").append(dir).append(e.name);
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISLNK(st.st_mode)) {
          viaLink = true;
          if (stat(full.c_str(), &st) != 0) continue;  // dangling
        }
        type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_UNKNOWN;
      }
      if (type != DT_DIR && type != DT_REG) continue;  // FIFOs, sockets, devices
      rel.assign(dir).append(e.name);
      if (git_ && (checkFiles || type == DT_DIR) && git_->Ignored(rel, type == DT_DIR)) continue;
      if (type == DT_DIR) {
        folders.push_back(rel + '/');
      } else if (!onFile(rel, viaLink)) {
        return;
      }
    }
    // The first subfolder in name order is walked next.
    std::reverse(folders.begin() + static_cast<std::ptrdiff_t>(firstSub), folders.end());
  }
}
