// Resources: the running program's own (RCDATA, string table) and the string table of
// another executable mapped as data.
#include "platform/resources.h"

#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

using win32::Failure;
using win32::Outcome;

namespace {

// LoadStringA fills at most size - 1 bytes and returns how many; a full buffer may mean a
// cut text, so ask again with more room. 0 means the id is absent (or its text empty).
std::string LoadAnsiString(HINSTANCE module, std::uint32_t id) {
  std::vector<char> buffer(1024);
  for (;;) {
    int n = ::LoadStringA(module, id, buffer.data(), static_cast<int>(buffer.size()));
    if (n <= 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size() - 1 || buffer.size() >= (1u << 20)) {
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    buffer.resize(buffer.size() * 4);
  }
}

}  // namespace

bool FindOwnRcData(const std::string& name, std::string_view& data) {
  HRSRC info = ::FindResourceA(nullptr, name.c_str(), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
  if (!info) {
    Failure();
    return false;
  }
  HGLOBAL loaded = ::LoadResource(nullptr, info);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) {
    Failure();
    return false;
  }
  // Resources of the running image stay mapped for the life of the process.
  data = std::string_view(static_cast<const char*>(bytes), ::SizeofResource(nullptr, info));
  Outcome(0);
  return true;
}

std::string LoadOwnString(std::uint32_t id) {
  std::string text = LoadAnsiString(::GetModuleHandleA(nullptr), id);
  Outcome(text.empty() ? ERROR_RESOURCE_NAME_NOT_FOUND : 0);
  return text;
}

struct DataModule::State {
  HMODULE module = nullptr;
};

DataModule::DataModule() : state_(std::make_unique<State>()) {}

DataModule::~DataModule() {
  DWORD saved = ::GetLastError();
  Free();
  ::SetLastError(saved);
}

std::uint32_t DataModule::Load(const std::string& path) {
  Free();
  state_->module = ::LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  return state_->module ? Outcome(0) : Failure();
}

bool DataModule::LoadStringById(std::uint32_t id, std::string& out) const {
  out.clear();
  if (!state_->module) {
    Outcome(ERROR_INVALID_HANDLE);
    return false;
  }
  out = LoadAnsiString(state_->module, id);
  Outcome(out.empty() ? ERROR_RESOURCE_NAME_NOT_FOUND : 0);
  return !out.empty();
}

void DataModule::Free() {
  if (state_->module) {
    ::FreeLibrary(state_->module);
    state_->module = nullptr;
  }
}

}  // namespace platform
