#include "tests/support/ChildProcess.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <exception>

namespace {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNoGroup = 65534;

bool IsRoot() { return ::geteuid() == 0; }

void SendAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

std::string InChild(const std::function<std::string()>& work) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) return "error: no pipe";
  pid_t child = ::fork();
  if (child < 0) return "error: no fork";
  if (child == 0) {
    ::close(pipeFds[0]);
    std::string result;
    try {
      result = work();
    } catch (const std::exception& e) {
      result = std::string("error: ") + e.what();
    }
    SendAll(pipeFds[1], result);
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string result;
  char block[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], block, sizeof block)) != 0;) {
    if (n < 0) break;
    result.append(block, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? result : "ended abnormally";
}

TUser UnprivilegedUser() { return IsRoot() ? TUser{kNobody, kNoGroup} : TUser{::geteuid(), ::getegid()}; }

std::string AsUnprivilegedUser(const std::function<std::string()>& work, const std::vector<gid_t>& groups) {
  if (!IsRoot()) return work();
  return InChild([&] {
    TUser user = UnprivilegedUser();
    if (::setgroups(groups.size(), groups.data()) != 0 || ::setresgid(user.gid, user.gid, user.gid) != 0 ||
        ::setresuid(user.uid, user.uid, user.uid) != 0)
      return std::string("error: cannot become an unprivileged user");
    return work();
  });
}

void GiveTo(const std::string& path, TUser user) {
  if (IsRoot()) (void)::chown(path.c_str(), user.uid, user.gid);
}
