// The registry hive reader of the POSIX layer on arbitrary text: parse, look up, serialize,
// and parse the serialized text again (what it wrote it must read to the same keys).
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/registry_internal.h"

using platform::posix::Hive;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Hive hive;
  hive.Parse(text);
  for (const char16_t* path : {u"Software", u"Software\\Wine\\Drives", u"", u"\\",
                               u"Software\\\\x"}) {
    (void)hive.Exists(path);
    if (auto* key = hive.Find(path)) {
      for (const auto& v : key->values) (void)platform::posix::ValueForQuery(v);
    }
  }
  const std::string once = hive.Serialize();
  Hive again;
  again.Parse(once);
  if (again.keys.size() != hive.keys.size()) {
    std::fprintf(stderr, "serialized hive reads back with %zu keys instead of %zu\n",
                 again.keys.size(), hive.keys.size());
    std::abort();
  }
  hive.Create(u"Software\\Fuzz\\Key");
  (void)hive.Serialize();
  return 0;
}
