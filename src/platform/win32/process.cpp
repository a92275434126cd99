// Child processes through CreateProcessA.
#include "platform/process.h"

#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;

namespace {

// One argument quoted so that the child's runtime splits it back unchanged: backslashes are
// literal unless they precede a quote, where they must be doubled.
void AppendQuoted(std::string& line, const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      line.append(backslashes * 2 + 1, '\\');
    } else {
      line.append(backslashes, '\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

// A handle for the child's standard stream: an inheritable duplicate of ours, or none.
HANDLE InheritableCopy(DWORD which) {
  HANDLE h = ::GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE copy = nullptr;
  if (!::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return copy;
}

void CloseIfSet(HANDLE& h) {
  if (h != nullptr && h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  h = nullptr;
}

}  // namespace

struct ChildProcess::State {
  HANDLE process = nullptr;
  HANDLE stdin_write = nullptr;
};

ChildProcess::ChildProcess() : state_(std::make_unique<State>()) {}

ChildProcess::~ChildProcess() {
  DWORD saved = ::GetLastError();
  // A child still reading our pipe finishes only once it sees the end of its input.
  CloseStdin();
  if (state_->process) Wait();
  ::SetLastError(saved);
}

void TerminateSelf(std::uint32_t code) {
  ::TerminateProcess(::GetCurrentProcess(), code);
  for (;;) {
  }
}

std::uint32_t ChildProcess::Start(const std::string& program,
                                  const std::vector<std::string>& args, bool stdin_pipe) {
  if (state_->process) return Outcome(ERROR_BUSY);
  std::string line;
  AppendQuoted(line, program);
  for (const std::string& a : args) {
    line += ' ';
    AppendQuoted(line, a);
  }

  HANDLE child_in = nullptr;
  HANDLE parent_in = nullptr;
  if (stdin_pipe) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    if (!::CreatePipe(&child_in, &parent_in, &sa, 0)) return Failure();
    // Our end must not reach the child, or its reads would never see the end of the data.
    ::SetHandleInformation(parent_in, HANDLE_FLAG_INHERIT, 0);
  } else {
    child_in = InheritableCopy(STD_INPUT_HANDLE);
  }
  HANDLE child_out = InheritableCopy(STD_OUTPUT_HANDLE);
  HANDLE child_err = InheritableCopy(STD_ERROR_HANDLE);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = child_in;
  si.hStdOutput = child_out;
  si.hStdError = child_err;
  PROCESS_INFORMATION pi{};
  BOOL ok = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &si, &pi);
  DWORD error = ok ? 0 : ::GetLastError();
  CloseIfSet(child_in);
  CloseIfSet(child_out);
  CloseIfSet(child_err);
  if (!ok) {
    CloseIfSet(parent_in);
    return Outcome(error ? error : ERROR_GEN_FAILURE);
  }
  ::CloseHandle(pi.hThread);
  state_->process = pi.hProcess;
  state_->stdin_write = parent_in;
  return Outcome(0);
}

std::uint32_t ChildProcess::WriteStdin(const std::string& bytes) {
  if (!state_->stdin_write) return Outcome(ERROR_INVALID_HANDLE);
  std::size_t offset = 0;
  while (offset < bytes.size()) {
    DWORD n = 0;
    if (!::WriteFile(state_->stdin_write, bytes.data() + offset,
                     static_cast<DWORD>(bytes.size() - offset), &n, nullptr)) {
      return Failure();
    }
    offset += n;
  }
  return Outcome(0);
}

void ChildProcess::CloseStdin() { CloseIfSet(state_->stdin_write); }

std::uint32_t ChildProcess::Wait() {
  if (!state_->process) {
    Outcome(ERROR_INVALID_HANDLE);
    return 0xFFFFFFFFu;
  }
  ::WaitForSingleObject(state_->process, INFINITE);
  DWORD code = 0xFFFFFFFFu;
  if (!::GetExitCodeProcess(state_->process, &code)) code = 0xFFFFFFFFu;
  CloseIfSet(state_->process);
  CloseStdin();
  Outcome(0);
  return code;
}

void ChildProcess::Kill() {
  if (state_->process) ::TerminateProcess(state_->process, 1);
}

}  // namespace platform
