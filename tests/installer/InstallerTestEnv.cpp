// TestMachine, the parts common to both builds.
#include "installer/InstallerTestEnv.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "platform/fs.h"
#include "platform/gbk.h"

namespace orb::test {

std::string TestMachine::MakeDir(const std::string& relative) const {
  std::string path = scratch_;
  std::size_t start = 0;
  while (start <= relative.size()) {
    std::size_t end = relative.find('\\', start);
    if (end == std::string::npos) end = relative.size();
    path += relative.substr(start, end - start);
    platform::CreateDir(path);
    path += '\\';
    start = end + 1;
  }
  return path.substr(0, path.size() - 1);
}

void TestMachine::WriteFile(const std::string& path, const std::string& bytes) const {
  platform::FileHandle h = platform::kNoFile;
  ASSERT_EQ(0u, platform::FileOpen(path, platform::kGenericWrite, 0, platform::kCreateAlways,
                                   platform::kFileAttributeNormal, h))
      << path;
  platform::ScopedFile file(h);
  std::uint32_t done = 0;
  ASSERT_EQ(0u, platform::FileWrite(h, bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                    done));
  ASSERT_EQ(bytes.size(), done);
}

std::string TestMachine::ReadFile(const std::string& path) {
  platform::FileHandle h = platform::kNoFile;
  if (platform::FileOpen(path, platform::kGenericRead, platform::kFileShareRead |
                                                           platform::kFileShareWrite,
                         platform::kOpenExisting, 0, h) != 0) {
    return {};
  }
  platform::ScopedFile file(h);
  std::string out;
  char buffer[65536];
  std::uint32_t done = 0;
  while (platform::FileRead(h, buffer, sizeof buffer, done) == 0 && done > 0) {
    out.append(buffer, done);
  }
  return out;
}

bool TestMachine::Exists(const std::string& path) {
  std::uint32_t attributes = 0;
  return platform::GetAttributes(path, attributes) == 0;
}

void TestMachine::SetString(platform::RootKey root, const std::string& key,
                            const std::string& name, const std::string& value,
                            std::uint32_t type) {
  std::string data = value;
  if (type == platform::kRegSz || type == platform::kRegExpandSz) data.push_back('\0');
  ASSERT_EQ(0u, platform::RegWriteValue(root, key, name, type, data)) << key << "\\" << name;
}

}  // namespace orb::test
