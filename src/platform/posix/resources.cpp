// Resources: the program's own (registered by generated sources, see own_resources.h), the
// string table of a PE file read as data.
#include <map>
#include <mutex>
#include <vector>

#include "platform/byteorder.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/posix/internal.h"
#include "platform/posix/own_resources.h"
#include "platform/posix/pe.h"
#include "platform/resources.h"
#include "platform/types.h"

namespace platform {
namespace {

// Filled by static registrations before main; read-only afterwards.
struct OwnResources {
  std::map<std::string, std::string_view> rcdata;  // names upper-cased, as FindResource matches
  std::map<std::uint32_t, const char*> strings;
};

OwnResources& Own() {
  static OwnResources r;
  return r;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// The string `index` (0..15) of an RT_STRING block: 16 counted UTF-16 strings.
bool BlockString(std::string_view block, std::uint32_t index, std::u16string& out) {
  std::size_t at = 0;
  for (std::uint32_t i = 0; i <= index; ++i) {
    if (block.size() - at < 2 || at > block.size()) return false;
    std::uint32_t len = GetLe16(block, at);
    at += 2;
    if ((block.size() - at) / 2 < len) return false;
    if (i == index) {
      out.clear();
      for (std::uint32_t k = 0; k < len; ++k) {
        out.push_back(static_cast<char16_t>(GetLe16(block, at + 2 * k)));
      }
      return true;
    }
    at += 2 * static_cast<std::size_t>(len);
  }
  return false;
}

}  // namespace

namespace posix {

RcDataRegistration::RcDataRegistration(const char* name, const char* begin, const char* end) {
  Own().rcdata[Upper(name)] = std::string_view(begin, static_cast<std::size_t>(end - begin));
}

StringTableRegistration::StringTableRegistration(const StringEntry* entries, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) Own().strings[entries[i].id] = entries[i].text;
}

}  // namespace posix

bool FindOwnRcData(const std::string& name, std::string_view& data) {
  auto it = Own().rcdata.find(Upper(name));
  if (it == Own().rcdata.end()) {
    data = std::string_view();
    SetLastError(1814);  // ERROR_RESOURCE_NAME_NOT_FOUND
    return false;
  }
  data = it->second;
  SetLastError(0);
  return true;
}

std::string LoadOwnString(std::uint32_t id) {
  auto it = Own().strings.find(id);
  if (it == Own().strings.end()) {
    SetLastError(1814);
    return std::string();
  }
  SetLastError(0);
  return it->second;
}

struct DataModule::State {
  std::string image;
};

DataModule::DataModule() = default;
DataModule::~DataModule() = default;

std::uint32_t DataModule::Load(const std::string& path) {
  state_.reset();
  auto state = std::make_unique<State>();
  if (std::uint32_t e = posix::ReadWholeFile(path, state->image)) return posix::Fail(e);
  std::string_view probe;
  std::uint32_t e = posix::FindPeResource(state->image, posix::kRtString, 0, probe);
  if (e == 193) return posix::Fail(e);
  state_ = std::move(state);
  return posix::Ok();
}

bool DataModule::LoadStringById(std::uint32_t id, std::string& out) const {
  out.clear();
  if (!state_) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  std::string_view block;
  if (std::uint32_t e = posix::FindPeResource(state_->image, posix::kRtString, id / 16 + 1, block)) {
    SetLastError(e);
    return false;
  }
  std::u16string text;
  if (!BlockString(block, id % 16, text) || text.empty()) {
    SetLastError(1814);
    return false;
  }
  out = Utf16ToGbk(text);
  SetLastError(0);
  return true;
}

void DataModule::Free() {
  state_.reset();
  SetLastError(0);
}

}  // namespace platform
