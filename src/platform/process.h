// Child processes, for tests and tools that need a second process (a file held open by
// another program, the installer run end to end): CreateProcessA / posix_spawn.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Ends this process at once with `code`: no destructor, handler or buffer flush runs, as
// when the process is killed (TerminateProcess / _exit). For tests of what a kill leaves.
[[noreturn]] void TerminateSelf(std::uint32_t code);

class ChildProcess {
 public:
  ChildProcess();
  ~ChildProcess();  // waits for the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (a path of the running system: a Windows path on Windows, either form
  // on POSIX) with `args`. The child inherits standard input/output unless
  // `stdin_pipe` is set, in which case WriteStdin/CloseStdin feed it.
  std::uint32_t Start(const std::string& program, const std::vector<std::string>& args,
                      bool stdin_pipe = false);
  std::uint32_t WriteStdin(const std::string& bytes);
  void CloseStdin();
  // Waits for the child and returns its exit code (or 0xFFFFFFFF when it did not run).
  std::uint32_t Wait();
  void Kill();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
