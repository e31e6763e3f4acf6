#pragma once

// Hand-over between two starts of the program: the first start listens, a
// second one finds it, sends the file name it was given and ends.

#include <functional>
#include <string>

namespace platform {

class InstanceChannel {
 public:
  virtual ~InstanceChannel() = default;

  // Sends `bytes` with `marker` to a running instance and waits until it has
  // handled them. Returns false when no instance is running.
  virtual bool SendToRunning(unsigned marker, const std::string& bytes) = 0;
  // Starts listening as the running instance. Messages arrive in `onMessage`
  // on the UI thread; its return value is the answer to the sender.
  virtual bool Listen(std::function<bool(unsigned marker, const std::string& bytes)> onMessage) = 0;
};

}  // namespace platform
