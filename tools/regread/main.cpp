// regread: one registry value through the operating-system layer, for scripts.
//
//   regread ROOT KEY NAME                      prints "type=T size=N data=HH HH ..."
//   regread --write ROOT KEY NAME TYPE HEX     writes the value (RegWriteValue), prints "ok"
//   regread --delete ROOT KEY                  deletes the key and everything below it
//
// ROOT is HKCU or HKLM. KEY and NAME are taken as bytes; a leading "x:" gives them in hex
// instead ("x:B2E2CAD4" is 测试 in GBK), so that GBK names pass unharmed through any shell
// and either build's command line. An empty NAME is the key's default value. Failures print
// "error=CODE" and exit with 1.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace {

int Usage() {
  std::fputs(
      "usage: regread ROOT KEY NAME\n"
      "       regread --write ROOT KEY NAME TYPE HEXDATA\n"
      "       regread --delete ROOT KEY\n"
      "ROOT is HKCU or HKLM; KEY and NAME are bytes, or hex after \"x:\".\n",
      stderr);
  return 2;
}

bool FromHex(const std::string& hex, std::string& out) {
  out.clear();
  std::string digits;
  for (char c : hex) {
    if (c != ' ') digits += c;
  }
  if (digits.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    char* end = nullptr;
    std::string pair = digits.substr(i, 2);
    long v = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    out += static_cast<char>(v);
  }
  return true;
}

bool Arg(const char* text, std::string& out) {
  if (std::strncmp(text, "x:", 2) == 0) return FromHex(text + 2, out);
  out = text;
  return true;
}

bool Root(const char* text, platform::RootKey& out) {
  if (std::strcmp(text, "HKCU") == 0) {
    out = platform::RootKey::CurrentUser;
  } else if (std::strcmp(text, "HKLM") == 0) {
    out = platform::RootKey::LocalMachine;
  } else {
    return false;
  }
  return true;
}

int Failed(std::uint32_t code) {
  std::printf("error=%u\n", static_cast<unsigned>(code));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  platform::RootKey root;
  std::string key;
  std::string name;
  if (argc == 4 && std::strcmp(argv[1], "--delete") == 0) {
    if (!Root(argv[2], root) || !Arg(argv[3], key)) return Usage();
    std::uint32_t e = platform::RegDeleteTree(root, key);
    if (e != 0) return Failed(e);
    std::puts("ok");
    return 0;
  }
  if (argc == 7 && std::strcmp(argv[1], "--write") == 0) {
    std::string data;
    if (!Root(argv[2], root) || !Arg(argv[3], key) || !Arg(argv[4], name) ||
        !FromHex(argv[6], data)) {
      return Usage();
    }
    auto type = static_cast<std::uint32_t>(std::strtoul(argv[5], nullptr, 0));
    std::uint32_t e = platform::RegWriteValue(root, key, name, type, data);
    if (e != 0) return Failed(e);
    std::puts("ok");
    return 0;
  }
  if (argc != 4 || !Root(argv[1], root) || !Arg(argv[2], key) || !Arg(argv[3], name)) {
    return Usage();
  }
  platform::RegKey k;
  std::uint32_t e = k.Open(root, key, platform::kKeyRead);
  if (e != 0) return Failed(e);
  platform::RegValue v;
  e = k.Query(name, v);
  if (e != 0) return Failed(e);
  std::printf("type=%u size=%u data=", static_cast<unsigned>(v.type),
              static_cast<unsigned>(v.data.size()));
  for (std::size_t i = 0; i < v.data.size(); ++i) {
    std::printf(i ? " %02X" : "%02X", static_cast<unsigned char>(v.data[i]));
  }
  std::printf("\n");
  return 0;
}
