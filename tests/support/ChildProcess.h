#pragma once

// Cases that need a process of their own: a user that file permissions
// bind (the suite often runs as root, whom they do not stop), resource
// limits, or a process to kill.

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Runs `work` in a forked child and returns what it returned; an exception
// leaving it comes back as "error: <message>", a child that did not end
// normally as "ended abnormally". The child ends without running exit
// handlers.
std::string InChild(const std::function<std::string()>& work);

struct TUser {
  uid_t uid;
  gid_t gid;
};

// The user whose rights the permission cases test: "nobody" when the suite
// runs as root, else the suite's own user.
TUser UnprivilegedUser();

// Runs `work` as UnprivilegedUser(), in a child that has dropped root's
// rights (and has `groups` as its supplementary groups) when the suite runs
// as root, directly otherwise.
std::string AsUnprivilegedUser(const std::function<std::string()>& work,
                               const std::vector<gid_t>& groups = {});

// Changes the owner of a file or folder (root only; a no-op for others).
void GiveTo(const std::string& path, TUser user);
