// What the operator reads, and the package constants the texts name: one place for every
// text of the installer, so that the flow, the host patch and the extraction all show the
// same words.
#pragma once

namespace orb::installer {

// The package constants, fixed when the installer is built.
extern const char kCaption[];
extern const char kDialogTitle[];
extern const char kTaskZipResource[];
extern const char kTaskFolderName[];
extern const char kTaskFlag[];
extern const char kDefaultTaskPath[];

// The operator's messages.
extern const char kMsgNoHost[];
extern const char kMsgFlagExists[];
extern const char kMsgFinished[];
extern const char kMsgWrongVersion[];
extern const char kMsgInUse[];
extern const char kMsgExtractFailed[];
// Why a package was not extracted at all, named in the failure box under kMsgExtractFailed.
extern const char kMsgEmptyPackage[];
extern const char kMsgOutsideTopFolder[];
// What a failed run did about what it had changed: every failure box ends with one of them.
extern const char kMsgUndone[];
extern const char kMsgNotRestored[];
// An earlier run was cut short and what it changed could not all be put back: nothing is
// installed until the files it names are seen to.
extern const char kMsgEarlierRunNotRestored[];
// Why the run's journal could not be kept (followed by the folder or the system's reason).
extern const char kMsgCannotStart[];
extern const char kMsgJournalFailed[];
extern const char kMsgCatalogNotSaved[];

}  // namespace orb::installer
