// The main of a fuzz target in a build without libFuzzer: feeds every file of the folders
// (or the files) named on the command line to LLVMFuzzerTestOneInput, once each, in name
// order. ctest runs each target so over its seed corpus and its kept regression inputs, in
// every native build, under that build's sanitizers or valgrind.
//
// The name of each input goes to standard error before it runs, so that a crash (an abort,
// a sanitizer's report, a signal) is followed by nothing but the input it happened on.
// A folder that does not exist, or arguments that hold no input at all, fail the run: a
// replay of nothing would pass without checking anything.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg = argv[i];
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
      std::vector<fs::path> here;
      for (const auto& e : fs::directory_iterator(arg, ec)) {
        if (e.is_regular_file()) here.push_back(e.path());
      }
      if (ec) {
        std::fprintf(stderr, "replay: cannot read the folder %s: %s\n", argv[i],
                     ec.message().c_str());
        return 2;
      }
      std::sort(here.begin(), here.end());
      inputs.insert(inputs.end(), here.begin(), here.end());
    } else if (fs::is_regular_file(arg, ec)) {
      inputs.push_back(arg);
    } else {
      std::fprintf(stderr, "replay: %s is neither a folder nor a file\n", argv[i]);
      return 2;
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "replay: no input in the folders given\n");
    return 2;
  }
  for (const auto& path : inputs) {
    std::ifstream f(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(f)),
                                  std::istreambuf_iterator<char>());
    if (!f.eof() && f.fail()) {
      std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
      return 2;
    }
    std::fprintf(stderr, "replay: %s\n", path.c_str());
    std::fflush(stderr);
    // A block of exactly the input's size, so that a read past its end leaves the block; never
    // a null pointer, not even for an empty input (libFuzzer does not pass one either).
    const std::unique_ptr<std::uint8_t[]> data(new std::uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), data.get());
    LLVMFuzzerTestOneInput(data.get(), bytes.size());
  }
  std::printf("replay: %zu inputs ran\n", inputs.size());
  return 0;
}
