// System and registry utilities: the thin layer over the operating system's registry,
// folder dialog, version information and file-name services that the installer and the
// task catalog share. Free functions only; the one piece of state is the temporary-name
// counter (see NewTempFileName).
//
// All text is GBK bytes. "The last character" of a path is the last whole GBK character,
// so a double-byte character whose second byte is 0x5C (乗 = 81 5C) never ends a path in a
// backslash.
//
// Built as its own small library (orb_sysutils, depending only on orb_platform) so that the
// table and catalog libraries below the installer can use the path helpers without a cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "_OrbLib/OrbExcept.h"
#include "_OrbLib/OrbRtl.h"  // TextToFloat (defined in orb_lib)
#include "platform/paths.h"
#include "platform/registry.h"

namespace orb {

using platform::RootKey;  // RootKey::CurrentUser, RootKey::LocalMachine

// The registry error raised for a value that is not a string.
class ERegistryError : public Exception {
 public:
  using Exception::Exception;
};

// The folder dialog's validation hook: may clear `accept` for the selected folder.
using TValidateFolderEvent = std::function<void(const std::string& path, bool& accept)>;

// Shows the folder-browse dialog. True and `Directory` set when the operator confirms a
// folder; false (Directory unchanged) on cancel. `Directory` in: the initial selection
// (empty = none). `Root` is the dialog's root (empty = the desktop). With `AllowRemote`
// false, folders on network drives cannot be confirmed and domain-level items are hidden.
// `Owner` is an opaque window handle kept for the legacy signature (0 = no owner).
bool SelectFolder(std::uintptr_t Owner, std::string& Directory, const std::string& Title,
                  bool NewStyle, bool AllowRemote, const std::u16string& Root,
                  const TValidateFolderEvent& OnValidate = {});

// The file-version words of an executable's fixed version block (MS = major<<16 | minor,
// LS = release<<16 | build). False, outputs untouched, when the file or its version
// information is missing or cannot be read.
bool GetFileVersionNumbers(const std::string& FileName, std::uint32_t& MS, std::uint32_t& LS);

// Reads a string value. The key is opened with full access rights (KEY_ALL_ACCESS), as the
// host's own code does, so a key the account may read but not write counts as absent.
// False, Value untouched, when the key or value is absent. A value of a non-string type
// raises orb::ERegistryError "Invalid data type for '<Name>'".
bool ReadRegString(RootKey Root, const std::string& Key, const std::string& Name,
                   std::string& Value);
// As ReadRegString, but Value becomes empty when the read fails.
void ReadRegStringOrEmpty(RootKey Root, const std::string& Key, const std::string& Name,
                          std::string& Value);

// The path rules of this set of utilities (PathJoin, AppendBackslash, StripBackslash,
// CompareSuffixText, ProgramDir) are shared by every layer and live in the platform's
// paths.h; they are re-exported here.
using platform::AppendBackslash;
using platform::CompareSuffixText;
using platform::PathJoin;
using platform::ProgramDir;
using platform::StripBackslash;

// A name "<folder>\<Prefix>MMDDhhmm_NNNNN[_k].TMP" that does not exist at the time of the
// call (the file is not created). The folder is Dir when it names an existing folder,
// otherwise the system temporary folder. k comes from a process-wide counter that is
// never reset.
std::string NewTempFileName(const std::string& Prefix, const std::string& Dir);
// The counter's current value (the k the next collision will use); for tests.
std::int32_t TempNameCounter();

// TextToFloat (decimal text to a number with the error-position code) belongs to this set
// of utilities but lives in the library's runtime unit; it is re-exported here.

}  // namespace orb
