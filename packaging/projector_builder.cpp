#include "packaging/projector_builder.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "packaging/payload_format.h"
#include "packaging/pe_machine.h"
#include "packaging/resource_updater.h"
#include "resources/resource_ids.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#endif

namespace brim {

namespace {

constexpr uint64_t kFormatLimit = std::numeric_limits<int32_t>::max();
constexpr size_t kCopyChunk = 64 * 1024;

enum class ReadResult { kOk, kCannotOpen, kReadFailed, kOutOfMemory };

ReadResult ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
  UniqueStdFile file(std::fopen(path.c_str(), "rb"));
  if (!file) return ReadResult::kCannotOpen;
  try {
    uint8_t chunk[kCopyChunk];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  } catch (const std::bad_alloc&) {
    return ReadResult::kOutOfMemory;
  }
  return std::ferror(file.get()) ? ReadResult::kReadFailed : ReadResult::kOk;
}

BuildReport Fail(BuildReport report, BuildStatus status, std::string detail) {
  report.status = status;
  report.detail = std::move(detail);
  return report;
}

// The bytes of a version resource from its start: a 6-byte header, the key
// "VS_VERSION_INFO" in UTF-16 with its NUL, padding to 4, then the fixed file information
// whose signature is 0xFEEF04BD.
std::optional<std::pair<uint32_t, uint32_t>> ParseVersionResource(const std::vector<uint8_t>& v) {
  static const char kKey[] = "VS_VERSION_INFO";
  constexpr size_t kKeyChars = sizeof kKey;  // with its NUL
  constexpr size_t kFixedAt = (6 + 2 * kKeyChars + 3) / 4 * 4;
  constexpr size_t kFixedSize = 52;
  if (v.size() < kFixedAt + kFixedSize) return std::nullopt;
  if (static_cast<size_t>(v[2] | v[3] << 8) < kFixedSize) return std::nullopt;
  for (size_t i = 0; i < kKeyChars; ++i) {
    if (v[6 + 2 * i] != static_cast<uint8_t>(kKey[i]) || v[7 + 2 * i] != 0) return std::nullopt;
  }
  if (LoadU32(&v[kFixedAt]) != 0xFEEF04BDu) return std::nullopt;
  return std::pair{LoadU32(&v[kFixedAt + 8]), LoadU32(&v[kFixedAt + 12])};
}

// Writes everything after the edited image, counting the payload's bytes; fails on the first
// write that falls short.
class PayloadWriter {
 public:
  explicit PayloadWriter(std::FILE* file) : file_(file) {}
  bool Write(const void* bytes, size_t size) {
    if (size == 0) return true;
    if (std::fwrite(bytes, 1, size, file_) != size) return false;
    written_ += size;
    return true;
  }
  bool Write(const std::vector<uint8_t>& bytes) { return Write(bytes.data(), bytes.size()); }
  uint64_t Written() const { return written_; }

 private:
  std::FILE* file_;
  uint64_t written_ = 0;
};

}  // namespace

int BuildMessageId(BuildStatus status) {
  switch (status) {
    case BuildStatus::kDone:
    case BuildStatus::kIconUnusable:
      return 0;
    case BuildStatus::kControlWrongMachine:
      return IDS_OCX_OPEN_FAILED;
    case BuildStatus::kBaseUnusable:
      return IDS_CREATE_PROJECTOR_FAILED;
    default:
      return static_cast<int>(status);
  }
}

const char* BuildStatusText(BuildStatus status) {
  switch (status) {
    case BuildStatus::kDone:
      return "done";
    case BuildStatus::kOutOfMemory:
      return "Out of Memory";
    case BuildStatus::kCannotCreateOutput:
      return "Failed to create projector file.";
    case BuildStatus::kCannotOpenMovie:
      return "Failed to open source file(.swf).";
    case BuildStatus::kWriteFailed:
      return "Failed to write data to projector file.";
    case BuildStatus::kControlReadFailed:
      return "File Read Error";
    case BuildStatus::kNoControlVersion:
      return "Failed to get flash component version.";
    case BuildStatus::kCannotOpenControl:
      return "Faile to open swflash.ocx or flash.ocx file.";
    case BuildStatus::kCompressFailed:
      return "Failed to compress flash ocx file.";
    case BuildStatus::kControlWrongMachine:
      return "the player control is not built for the same processor as the program";
    case BuildStatus::kBaseUnusable:
      return "the program to copy cannot be read or is not a PE image";
    case BuildStatus::kIconUnusable:
      return "an icon cannot be used";
  }
  return "unknown";
}

#if !defined(_WIN32)
std::optional<std::string> PosixOutputFiles::CreateTempBeside(const std::string& destination) {
  const size_t slash = destination.find_last_of('/');
  std::string name =
      (slash == std::string::npos ? std::string(".") : destination.substr(0, slash)) +
      "/QVLXXXXXX.tmp";
  const int fd = mkstemps(name.data(), 4);
  if (fd < 0) return std::nullopt;
  // mkstemps makes the file private; a projector is an ordinary file of its owner's.
  const mode_t mask = umask(0);
  umask(mask);
  const bool ok = fchmod(fd, 0666 & ~mask) == 0;
  close(fd);
  if (!ok) {
    std::remove(name.c_str());
    return std::nullopt;
  }
  return name;
}

bool PosixOutputFiles::Replace(const std::string& temp, const std::string& destination) {
  return std::rename(temp.c_str(), destination.c_str()) == 0;
}
#endif

std::optional<std::pair<uint32_t, uint32_t>> ReadFileVersion(std::span<const uint8_t> module) {
  MemoryByteSource source(module);
  ResourceEdit edit;
  if (edit.Begin(source) != ResourceStatus::kOk) return std::nullopt;
  const ResourceTable& table = edit.Resources();
  // The version query asks for the resource numbered 1 and takes whatever comes first
  // otherwise.
  const ResourceEntry* found = nullptr;
  for (const auto& e : table.Entries()) {
    if (e.type.IsName() || e.type.Id() != kRtVersion) continue;
    if (!found ||
        (!e.name.IsName() && e.name.Id() == 1 && (found->name.IsName() || found->name.Id() != 1))) {
      found = &e;
    }
  }
  if (!found) return std::nullopt;
  return ParseVersionResource(found->data);
}

std::string RuntimeNameFromPath(const std::string& path) {
  const size_t separator = path.find_last_of("\\/");
  return "\\" + (separator == std::string::npos ? path : path.substr(separator + 1));
}

ResourceStatus EditProgramResources(std::vector<uint8_t>& image, const IconFile* mainIcon,
                                    const IconFile* secondIcon, uint32_t resourceTime,
                                    bool* startPageRemoved) {
  MemoryByteSource source(image);
  ResourceEdit edit;
  ResourceStatus status = edit.Begin(source);
  if (status != ResourceStatus::kOk) return status;
  if (mainIcon || secondIcon) ReplaceIconGroups(edit.Resources(), mainIcon, secondIcon);
  // A projector plays its own movie and never the start page; it is removed in whatever
  // language the program carries it.
  const size_t removed =
      edit.Resources().DeleteAllLanguages(ResourceKey::Ascii("BINARY"), IDR_START_PAGE);
  std::vector<FilePatch> patches;
  status = edit.Prepare(resourceTime, patches);
  if (status != ResourceStatus::kOk) return status;
  ApplyPatches(image, patches);
  if (startPageRemoved) *startPageRemoved = removed > 0;
  return ResourceStatus::kOk;
}

BuildReport BuildProjector(const BuildRequest& request, OutputFiles& files) {
  BuildReport report;
  std::vector<uint8_t> image;
  if (ReadWholeFile(request.basePath, image) != ReadResult::kOk) {
    return Fail(report, BuildStatus::kBaseUnusable, request.basePath);
  }
  report.baseSize = image.size();
  MemoryByteSource baseSource(image);
  const auto baseMachine = ReadPeMachine(baseSource);
  if (!baseMachine) return Fail(report, BuildStatus::kBaseUnusable, request.basePath);

  // Icons: the desktop goes on without one it cannot use.
  std::vector<uint8_t> iconBytes[2];
  IconFile icons[2];
  const IconFile* chosen[2] = {nullptr, nullptr};
  const std::string* iconPaths[2] = {&request.mainIconPath, &request.secondIconPath};
  for (int i = 0; i < 2; ++i) {
    if (iconPaths[i]->empty()) continue;
    IconStatus status = IconStatus::kTooShort;
    const bool read = ReadWholeFile(*iconPaths[i], iconBytes[i]) == ReadResult::kOk;
    if (read) status = ReadIconFile(iconBytes[i], icons[i]);
    if (read && status == IconStatus::kOk) {
      chosen[i] = &icons[i];
    } else if (request.iconsRequired) {
      return Fail(report, BuildStatus::kIconUnusable,
                  *iconPaths[i] + ": " + (read ? IconStatusText(status) : "cannot be read"));
    }
  }
  report.resourceStatus = EditProgramResources(image, chosen[0], chosen[1], request.resourceTime,
                                               &report.startPageRemoved);
  if (report.resourceStatus == ResourceStatus::kOk) {
    report.mainIconReplaced = chosen[0] != nullptr;
    report.secondIconReplaced = chosen[1] != nullptr;
  } else if (chosen[0] || chosen[1]) {
    if (request.iconsRequired) {
      return Fail(report, BuildStatus::kIconUnusable,
                  std::string("icons: ") + ResourceStatusText(report.resourceStatus));
    }
    report.resourceStatus = EditProgramResources(image, nullptr, nullptr, request.resourceTime,
                                                 &report.startPageRemoved);
  }
  report.imageSize = image.size();
  if (report.imageSize > kFormatLimit) {
    return Fail(report, BuildStatus::kWriteFailed, "the program is too large for a projector");
  }

  const auto temp = files.CreateTempBeside(request.outputPath);
  if (!temp) return Fail(report, BuildStatus::kCannotCreateOutput, request.outputPath);
  // From here on every way out removes the temporary file unless it has become the output.
  struct TempGuard {
    const std::string& path;
    bool keep = false;
    ~TempGuard() {
      if (!keep) std::remove(path.c_str());
    }
  } guard{*temp};

  std::vector<uint8_t> control;
  switch (ReadWholeFile(request.controlPath, control)) {
    case ReadResult::kOk:
      break;
    case ReadResult::kCannotOpen:
      return Fail(report, BuildStatus::kCannotOpenControl, request.controlPath);
    case ReadResult::kReadFailed:
      return Fail(report, BuildStatus::kControlReadFailed, request.controlPath);
    case ReadResult::kOutOfMemory:
      return Fail(report, BuildStatus::kOutOfMemory, request.controlPath);
  }
  if (control.empty()) return Fail(report, BuildStatus::kControlReadFailed, request.controlPath);
  report.controlSize = control.size();
  // A process loads only modules of its own processor, so a projector with the other kind of
  // control could never play.
  MemoryByteSource controlSource(control);
  if (ReadPeMachine(controlSource) != baseMachine) {
    return Fail(report, BuildStatus::kControlWrongMachine, request.controlPath);
  }
  const auto version = ReadFileVersion(control);
  if (!version) return Fail(report, BuildStatus::kNoControlVersion, request.controlPath);
  report.flashVersionMS = version->first;
  report.flashVersionLS = version->second;
  const std::string runtimeName =
      request.runtimeName.empty() ? RuntimeNameFromPath(request.controlPath) : request.runtimeName;
  if (runtimeName.size() < 2 || runtimeName.size() >= kRuntimeNameCapacity ||
      control.size() > kFormatLimit) {
    return Fail(report, BuildStatus::kNoControlVersion, request.controlPath);
  }

  // The compressed control must come out smaller than the module; one that does not is not
  // worth packing and is refused like a failed compression.
  std::unique_ptr<uint8_t[]> compressed(new (std::nothrow) uint8_t[control.size()]);
  if (!compressed) return Fail(report, BuildStatus::kOutOfMemory, request.controlPath);
  uLongf compressedSize = static_cast<uLongf>(control.size());
  if (compress2(compressed.get(), &compressedSize, control.data(),
                static_cast<uLong>(control.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
    return Fail(report, BuildStatus::kCompressFailed, request.controlPath);
  }
  report.compressedControlSize = compressedSize;

  UniqueStdFile movie(std::fopen(request.moviePath.c_str(), "rb"));
  if (!movie) return Fail(report, BuildStatus::kCannotOpenMovie, request.moviePath);

  UniqueStdFile out(std::fopen(temp->c_str(), "wb"));
  if (!out) return Fail(report, BuildStatus::kCannotCreateOutput, *temp);
  std::vector<uint8_t> head;
  if (!AppendPayloadHead(head, version->first, version->second, runtimeName.c_str(),
                         static_cast<uint32_t>(control.size()))) {
    return Fail(report, BuildStatus::kNoControlVersion, request.controlPath);
  }
  if (std::fwrite(image.data(), 1, image.size(), out.get()) != image.size()) {
    return Fail(report, BuildStatus::kWriteFailed, *temp);
  }
  PayloadWriter payload(out.get());
  if (!payload.Write(head) || !payload.Write(compressed.get(), compressedSize)) {
    return Fail(report, BuildStatus::kWriteFailed, *temp);
  }
  compressed.reset();
  std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[kCopyChunk]);
  if (!chunk) return Fail(report, BuildStatus::kOutOfMemory, request.moviePath);
  size_t got;
  while ((got = std::fread(chunk.get(), 1, kCopyChunk, movie.get())) > 0) {
    report.movieSize += got;
    if (report.imageSize + payload.Written() + got > kFormatLimit) {
      return Fail(report, BuildStatus::kWriteFailed, "the movie is too large for a projector");
    }
    if (!payload.Write(chunk.get(), got)) return Fail(report, BuildStatus::kWriteFailed, *temp);
  }
  if (std::ferror(movie.get()))
    return Fail(report, BuildStatus::kCannotOpenMovie, request.moviePath);
  std::vector<uint8_t> trailer;
  AppendTrailer(trailer, static_cast<uint32_t>(compressedSize),
                static_cast<uint32_t>(report.imageSize), static_cast<uint32_t>(payload.Written()));
  if (std::fwrite(trailer.data(), 1, trailer.size(), out.get()) != trailer.size() ||
      std::fclose(out.release()) != 0) {
    return Fail(report, BuildStatus::kWriteFailed, *temp);
  }
  report.outputSize = report.imageSize + payload.Written() + trailer.size();
  if (!files.Replace(*temp, request.outputPath)) {
    return Fail(report, BuildStatus::kCannotCreateOutput, request.outputPath);
  }
  guard.keep = true;
  return report;
}

}  // namespace brim
