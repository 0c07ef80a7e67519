#pragma once
// Making a stand-alone projector: a copy of the program with its icons changed and its start
// page removed, followed by the player control (compressed), the movie and the trailer. The
// desktop's "Create Projector" and the command-line brimloft-pack both come through here.
//
// The new file is written beside the destination under a temporary name and moved over the
// destination only when every byte has been written: a build that fails leaves the
// destination as it was and no temporary file behind.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "packaging/icon_file.h"
#include "packaging/resource_section.h"

namespace brim {

// What ended a build. Where the desktop has a message for the condition, the value is that
// message's string id.
enum class BuildStatus {
  kDone = 0,
  kOutOfMemory = 104,
  kCannotCreateOutput = 112,
  kCannotOpenMovie = 113,
  kWriteFailed = 114,
  kControlReadFailed = 115,
  kNoControlVersion = 121,
  kCannotOpenControl = 127,
  kCompressFailed = 129,
  // Conditions the desktop words with the nearest of those messages (BuildMessageId):
  kControlWrongMachine = 1001,  // a control of the other bitness, or not a module at all
  kBaseUnusable = 1002,         // the program to copy cannot be read or is no PE image
  kIconUnusable = 1003,         // only when icons are required: an icon that could not be used
};

// The string id the desktop shows for `status`; 0 for kDone and for kIconUnusable, which the
// desktop does not report (the build goes on without that icon).
int BuildMessageId(BuildStatus status);
// The message's text as the desktop shows it, or our own words where it has none.
const char* BuildStatusText(BuildStatus status);

// Temporary files beside the destination, and the final move. The Win32 glue names them the
// way the rest of the program does; elsewhere PosixOutputFiles serves.
class OutputFiles {
 public:
  virtual ~OutputFiles() = default;
  // A new, empty file in the destination's folder, reserved for this build.
  virtual std::optional<std::string> CreateTempBeside(const std::string& destination) = 0;
  // Puts `temp` in the place of `destination`, replacing a file that is there.
  virtual bool Replace(const std::string& temp, const std::string& destination) = 0;
};

#if !defined(_WIN32)
class PosixOutputFiles : public OutputFiles {
 public:
  std::optional<std::string> CreateTempBeside(const std::string& destination) override;
  bool Replace(const std::string& temp, const std::string& destination) override;
};
#endif

struct BuildRequest {
  std::string basePath;     // the program to copy: the running executable
  std::string controlPath;  // the player control's module
  std::string runtimeName;  // stored name with its leading backslash; empty: from controlPath
  std::string moviePath;
  std::string mainIconPath;    // group 211; empty: keep the program's icon
  std::string secondIconPath;  // group 222; empty: keep
  std::string outputPath;
  // Time stamp of resource directories new to the file: the desktop passes the current time
  // (CurrentResourceTime); equal values give equal files.
  uint32_t resourceTime = 0;
  // The desktop goes on without an icon it cannot use; the command line stops instead.
  bool iconsRequired = false;
};

struct BuildReport {
  BuildStatus status = BuildStatus::kDone;
  std::string detail;  // the file or step concerned, for a one-line reason
  uint64_t baseSize = 0;
  uint64_t imageSize = 0;  // the edited executable, before the payload
  uint64_t controlSize = 0;
  uint64_t compressedControlSize = 0;
  uint64_t movieSize = 0;
  uint64_t outputSize = 0;
  uint32_t flashVersionMS = 0;
  uint32_t flashVersionLS = 0;
  bool mainIconReplaced = false;
  bool secondIconReplaced = false;
  bool startPageRemoved = false;
  ResourceStatus resourceStatus = ResourceStatus::kOk;  // of the program's resource edit
};

BuildReport BuildProjector(const BuildRequest& request, OutputFiles& files);

// The file version a module's version resource gives (most and least significant halves), as
// the platform's version query reads it; nothing when there is none.
std::optional<std::pair<uint32_t, uint32_t>> ReadFileVersion(std::span<const uint8_t> module);

// The name a packed control is stored under: its file name after the last '\' or '/', with
// one leading backslash.
std::string RuntimeNameFromPath(const std::string& path);

// Edits a copy of the program in memory: new icons (either may be null), start page removed.
// Returns the status of the resource edit; on anything but kOk `image` is unchanged. The
// desktop's rule is that icons and start page are best effort: BuildProjector retries
// without icons when the edit with them does not fit.
ResourceStatus EditProgramResources(std::vector<uint8_t>& image, const IconFile* mainIcon,
                                    const IconFile* secondIcon, uint32_t resourceTime,
                                    bool* startPageRemoved = nullptr);

}  // namespace brim
