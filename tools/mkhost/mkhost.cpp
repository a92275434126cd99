// mkhost: writes a host executable stand-in.
//   mkhost <output.exe> [--version a.b.c.d] [--sites unpatched|patched|half|b-wrong|a-wrong|none]
//          [--short]
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/mkhost/HostImage.h"

int main(int argc, char** argv) {
  using namespace orb::mkhost;
  THostSpec host_spec;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--version" && i + 1 < argc) {
      if (!ParseVersion(argv[++i], host_spec.version)) {
        std::fprintf(stderr, "mkhost: bad version '%s'\n", argv[i]);
        return 2;
      }
    } else if (a == "--sites" && i + 1 < argc) {
      if (!ParseSites(argv[++i], host_spec.sites)) {
        std::fprintf(stderr, "mkhost: bad sites '%s'\n", argv[i]);
        return 2;
      }
    } else if (a == "--short") {
      host_spec.short_image = true;
    } else if (!output && a[0] != '-') {
      output = argv[i];
    } else {
      output = nullptr;
      break;
    }
  }
  if (!output) {
    std::fprintf(stderr,
                 "usage: mkhost <output.exe> [--version a.b.c.d] "
                 "[--sites unpatched|patched|half|b-wrong|a-wrong|none] [--short]\n");
    return 2;
  }
  const std::string image = BuildHostImage(host_spec);
  std::FILE* f = std::fopen(output, "wb");
  if (!f || std::fwrite(image.data(), 1, image.size(), f) != image.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "mkhost: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
