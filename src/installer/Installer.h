// The installer's start-to-exit flow for the one task package it carries.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "installer/Catalog.h"
#include "installer/Extraction.h"
#include "installer/OperatorTexts.h"

namespace orb::installer {

// Host builds the version test knows.
constexpr std::uint32_t kPatchedBuildMS = 0x00020008;  // 2.8.11105.3, needs the patch
constexpr std::uint32_t kPatchedBuildLS = 0x2B610003;
constexpr std::uint32_t kFixedBuildMS = 0x00020008;    // 2.8.20412.1; newer builds are fine
constexpr std::uint32_t kFixedBuildLS = 0x4FBC0001;

// The seams the flow's tests replace.
struct TInstallerServices {
  std::function<std::unique_ptr<Extraction>()> make_extraction;
  std::function<std::unique_ptr<Catalog>()> make_catalog;
  // The package bytes (false: there is none). Empty: the program's own RCDATA "TASK_ZIP",
  // the only source the program itself uses; tests hand in damaged copies through it.
  std::function<bool(std::string_view&)> find_package = {};
};
// The real engine and catalog.
TInstallerServices DefaultServices();

// Runs the whole installation; returns the process exit code: 0 for every path the
// installation ends normally (including cancel, no host, no package), 1 when the package
// could not be extracted completely. Exceptions other than those of the patch step
// propagate (see RunMain).
int RunInstaller(const TInstallerServices& services);

// The program's entry: host settings, the flow, and the process-wide handler (a warning
// box with the flow's caption and the exception's message, exit code 1).
int RunMain(const TInstallerServices& services);

}  // namespace orb::installer
