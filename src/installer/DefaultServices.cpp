// The installer's real engine and catalog.
#include "installer/Installer.h"

namespace orb::installer {

TInstallerServices DefaultServices() {
  return {MakeUnZipExtraction, MakeTasksCatalog};
}

}  // namespace orb::installer
