// Resources: the program's own (FindResourceA/LoadResource for RCDATA, LoadStringA for the
// string table) and the string table of another executable loaded as data
// (LoadLibraryExA with LOAD_LIBRARY_AS_DATAFILE, LoadStringA, FreeLibrary).
//
// On POSIX the program's own resources are linked into the binary from the same sources as
// the Windows .rc (see cmake: orb_add_resources), and another executable's string table is
// read from its PE resource section.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The RCDATA resource `name` of the running program. False when absent. The bytes stay
// valid for the life of the process.
bool FindOwnRcData(const std::string& name, std::string_view& data);

// LoadStringA on the program's own string table: GBK text, empty when the id is absent.
std::string LoadOwnString(std::uint32_t id);

// An executable loaded as a data file, for its string table.
class DataModule {
 public:
  DataModule();
  ~DataModule();
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;

  std::uint32_t Load(const std::string& path);
  // LoadStringA: false (and empty text) when the id is absent.
  bool LoadStringById(std::uint32_t id, std::string& out) const;
  void Free();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace platform
