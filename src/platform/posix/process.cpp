// Child processes through posix_spawn. The program may be a Unix path or a Windows path of
// the prefix; arguments pass unchanged (GBK bytes stay bytes).
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/error.h"
#include "platform/posix/internal.h"
#include "platform/process.h"
#include "platform/types.h"

extern char** environ;

namespace platform {

using posix::Fail;
using posix::Ok;

struct ChildProcess::State {
  pid_t pid = -1;
  int stdin_fd = -1;
  bool waited = false;
  std::uint32_t exit_code = 0xFFFFFFFFu;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
  CloseStdin();
  Wait();
}

void TerminateSelf(std::uint32_t code) { _exit(static_cast<int>(code & 0xFF)); }

std::uint32_t ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                                  bool stdin_pipe) {
  if (state_->pid > 0 && !state_->waited) return Fail(kErrorInvalidParameter);
  *state_ = State();
  posix::UnixPath p;
  if (std::uint32_t e = posix::ToUnix(program, p)) return e;
  int fds[2] = {-1, -1};
  if (stdin_pipe && pipe2(fds, O_CLOEXEC) != 0) return Fail(posix::FromErrno(errno, p));
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_pipe) posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  std::vector<std::string> argv_store;
  argv_store.push_back(p.path);
  argv_store.insert(argv_store.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_store) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, p.path.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (stdin_pipe) close(fds[0]);
  if (rc != 0) {
    if (stdin_pipe) close(fds[1]);
    return Fail(posix::FromErrno(rc, p));
  }
  state_->pid = pid;
  state_->stdin_fd = stdin_pipe ? fds[1] : -1;
  return Ok();
}

std::uint32_t ChildProcess::WriteStdin(const std::string& bytes) {
  if (state_->stdin_fd < 0) return Fail(kErrorInvalidHandle);
  // A child that has exited makes the write raise SIGPIPE, which would end this process:
  // block it for the write and discard it, so that the caller just sees ERROR_BROKEN_PIPE.
  sigset_t pipe_set, old_set;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old_set);
  std::uint32_t result = 0;
  std::size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = write(state_->stdin_fd, bytes.data() + off, bytes.size() - off);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = errno == EPIPE ? 109u : 31u;  // ERROR_BROKEN_PIPE, ERROR_GEN_FAILURE
      break;
    }
    off += static_cast<std::size_t>(n);
  }
  if (result == 109u && !sigismember(&old_set, SIGPIPE)) {
    struct timespec zero = {0, 0};
    sigtimedwait(&pipe_set, nullptr, &zero);
  }
  pthread_sigmask(SIG_SETMASK, &old_set, nullptr);
  return Fail(result);
}

void ChildProcess::CloseStdin() {
  if (state_->stdin_fd >= 0) close(state_->stdin_fd);
  state_->stdin_fd = -1;
}

std::uint32_t ChildProcess::Wait() {
  if (state_->pid <= 0) return 0xFFFFFFFFu;
  if (!state_->waited) {
    int status = 0;
    pid_t r;
    do {
      r = waitpid(state_->pid, &status, 0);
    } while (r < 0 && errno == EINTR);
    state_->waited = true;
    if (r > 0 && WIFEXITED(status)) {
      state_->exit_code = static_cast<std::uint32_t>(WEXITSTATUS(status));
    } else if (r > 0 && WIFSIGNALED(status)) {
      state_->exit_code = 0xC0000000u | static_cast<std::uint32_t>(WTERMSIG(status));
    }
  }
  SetLastError(0);
  return state_->exit_code;
}

void ChildProcess::Kill() {
  if (state_->pid > 0 && !state_->waited) kill(state_->pid, SIGKILL);
  SetLastError(0);
}

}  // namespace platform
