// Resources: the program's own (registered by generated sources, see own_resources.h), the
// version resource and the string table of a PE file read as data.
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
#include "platform/version.h"

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

std::uint32_t Le32(std::string_view b, std::size_t off) {
  return GetLe32(reinterpret_cast<const std::uint8_t*>(b.data() + off));
}

std::uint32_t Le16(std::string_view b, std::size_t off) {
  return GetLe16(reinterpret_cast<const std::uint8_t*>(b.data() + off));
}

// The string `index` (0..15) of an RT_STRING block: 16 counted UTF-16 strings.
bool BlockString(std::string_view block, std::uint32_t index, std::u16string& out) {
  std::size_t at = 0;
  for (std::uint32_t i = 0; i <= index; ++i) {
    if (block.size() - at < 2 || at > block.size()) return false;
    std::uint32_t len = Le16(block, at);
    at += 2;
    if ((block.size() - at) / 2 < len) return false;
    if (i == index) {
      out.clear();
      for (std::uint32_t k = 0; k < len; ++k) {
        out.push_back(static_cast<char16_t>(Le16(block, at + 2 * k)));
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

std::uint32_t ReadFixedFileInfo(const std::string& path, FixedFileInfo& out) {
  out = FixedFileInfo();
  std::string image;
  if (std::uint32_t e = posix::ReadWholeFile(path, image)) return posix::Fail(e);
  std::string_view data;
  if (std::uint32_t e = posix::FindPeResource(image, posix::kRtVersion, 0, data)) {
    return posix::Fail(e == 193 ? 193u : 1813u);
  }
  // VS_VERSIONINFO: wLength, wValueLength, wType, "VS_VERSION_INFO\0" (UTF-16), padding to
  // a 32-bit boundary, then VS_FIXEDFILEINFO (52 bytes) when wValueLength says so.
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr std::size_t kKeyAt = 6;
  constexpr std::size_t kKeyBytes = sizeof kKey;  // with the terminator
  constexpr std::size_t kValueAt = (kKeyAt + kKeyBytes + 3) & ~std::size_t{3};
  if (data.size() < kValueAt + 52) return posix::Fail(1813);
  for (std::size_t i = 0; i < kKeyBytes / 2; ++i) {
    if (Le16(data, kKeyAt + 2 * i) != kKey[i]) return posix::Fail(1813);
  }
  if (Le16(data, 2) < 52 || Le32(data, kValueAt) != 0xFEEF04BDu) return posix::Fail(1813);
  std::uint32_t* fields[] = {&out.signature,          &out.struc_version,      &out.file_version_ms,
                             &out.file_version_ls,    &out.product_version_ms, &out.product_version_ls,
                             &out.file_flags_mask,    &out.file_flags,         &out.file_os,
                             &out.file_type,          &out.file_subtype,       &out.file_date_ms,
                             &out.file_date_ls};
  for (std::size_t i = 0; i < 13; ++i) *fields[i] = Le32(data, kValueAt + 4 * i);
  return posix::Ok();
}

}  // namespace platform
