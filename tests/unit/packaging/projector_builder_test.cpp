// A projector built from a program, a control and a movie: what its payload and its resources
// say afterwards, and that every failure leaves the destination as it was and nothing beside it.
#include "packaging/projector_builder.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>
#include <zlib.h>

#include <csignal>
#include <filesystem>

#include "packaging/payload_format.h"
#include "packaging/runtime_core.h"
#include "pe_support.h"
#include "tools/swf_builder.h"
#include "tools/whole_file.h"

namespace brim {
namespace {

namespace fs = std::filesystem;
using bytetest::Bytes;

// A version resource as resource compilers write it, with only the fixed part.
Bytes VersionResource(uint32_t ms, uint32_t ls) {
  Bytes v = {92, 0, 52, 0, 0, 0};
  for (char c : std::string("VS_VERSION_INFO")) v.insert(v.end(), {static_cast<uint8_t>(c), 0});
  v.insert(v.end(), {0, 0, 0, 0});  // the key's NUL and padding to 40
  bytetest::Put32(v, 0xFEEF04BD);
  bytetest::Put32(v, 0x10000);
  bytetest::Put32(v, ms);
  bytetest::Put32(v, ls);
  v.resize(92, 0);
  return v;
}

Bytes Ico(const Bytes& image) {
  Bytes ico = {0, 0, 1, 0, 1, 0, 32, 32, 0, 0, 1, 0, 32, 0};
  bytetest::Put32(ico, static_cast<uint32_t>(image.size()));
  bytetest::Put32(ico, 22);
  ico.insert(ico.end(), image.begin(), image.end());
  return ico;
}

std::string Crc(const Bytes& b) {
  char text[16];
  std::snprintf(text, sizeof text, "%08lx", crc32(0, b.data(), static_cast<uInt>(b.size())));
  return text;
}

struct Inputs {
  fs::path dir;
  BuildRequest request;
  Bytes control;
  Bytes movie;
  Bytes mainImage = bytetest::Noise(300, 41);
  Bytes secondImage = bytetest::Noise(200, 42);
};

// The program: icon groups 211 and 222 and the start page, in US English, as the resource
// script makes them; the control: a module of the same processor with a version and a body
// that compresses.
Inputs MakeInputs(const char* name) {
  Inputs in;
  in.dir = fs::temp_directory_path() /
           ("brimloft_" + std::string(name) + "_" + std::to_string(::getpid()));
  fs::remove_all(in.dir);
  fs::create_directories(in.dir);
  ResourceTable program;
  program.Update(kRtIcon, 1, 0x409, bytetest::Noise(100, 1));
  program.Update(kRtIcon, 2, 0x409, bytetest::Noise(100, 2));
  const Bytes group211 = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 100, 0, 0, 0, 1, 0};
  Bytes group222 = group211;
  group222[18] = 2;
  program.Update(kRtGroupIcon, kMainIconGroup, 0x409, group211);
  program.Update(kRtGroupIcon, kSecondIconGroup, 0x409, group222);
  program.Update(ResourceKey::Ascii("BINARY"), 235, 0x409, bytetest::Noise(5000, 3));
  ResourceTable control;
  control.Update(kRtVersion, 1, 0x409, VersionResource(9 << 16, 115 << 16 | 2));
  control.Update(10, 1, 0, Bytes(60000, 'C'));
  in.control = petest::MakeImage(control, {0x14C, false, true});
  swfb::Movie movie;
  movie.ShowFrame();
  in.movie = movie.Build();

  auto put = [&](const char* file, const Bytes& bytes) {
    const std::string path = (in.dir / file).string();
    EXPECT_TRUE(tools::WriteWholeFile(path, bytes));
    return path;
  };
  in.request.basePath = put("Brimloft.exe", petest::MakeImage(program, {0x14C, false, true}));
  in.request.controlPath = put("Flash.ocx", in.control);
  in.request.moviePath = put("game.swf", in.movie);
  in.request.mainIconPath = put("app.ico", Ico(in.mainImage));
  in.request.secondIconPath = put("tray.ico", Ico(in.secondImage));
  in.request.outputPath = (in.dir / "Game.exe").string();
  in.request.resourceTime = 1234;
  return in;
}

TEST(ProjectorBuilder, WritesThePayloadAndTheEditedResources) {
  Inputs in = MakeInputs("build");
  PosixOutputFiles files;
  const BuildReport report = BuildProjector(in.request, files);
  ASSERT_EQ(report.status, BuildStatus::kDone) << report.detail;
  EXPECT_TRUE(report.mainIconReplaced && report.secondIconReplaced && report.startPageRemoved);

  Bytes out;
  ASSERT_TRUE(tools::ReadWholeFile(in.request.outputPath, out));
  EXPECT_EQ(out.size(), report.outputSize);
  UniqueStdFile file(std::fopen(in.request.outputPath.c_str(), "rb"));
  FileByteSource source(file.get());
  PayloadInfo info;
  ASSERT_TRUE(LocatePayload(source, info));
  EXPECT_EQ(info.flashVersionMS, 9u << 16);
  EXPECT_EQ(info.flashVersionLS, 115u << 16 | 2);
  EXPECT_STREQ(info.runtimeName, "\\Flash.ocx");
  EXPECT_EQ(info.runtimeSize, in.control.size());
  EXPECT_EQ(Bytes(out.begin() + info.movieOffset, out.end() - kTrailerSize), in.movie);
  UniqueStdFile runtime(std::tmpfile());
  ASSERT_TRUE(
      InflateRuntime(file.get(), info.runtimeOffset, info.runtimeCompressedSize, runtime.get()));
  Bytes unpacked(in.control.size() + 1);
  std::rewind(runtime.get());
  unpacked.resize(std::fread(unpacked.data(), 1, unpacked.size(), runtime.get()));
  EXPECT_EQ(unpacked, in.control);

  // The same inputs make the same file, whoever builds it.
  const std::string again = (in.dir / "Again.exe").string();
  BuildRequest second = in.request;
  second.outputPath = again;
  ASSERT_EQ(BuildProjector(second, files).status, BuildStatus::kDone);
  Bytes againBytes;
  ASSERT_TRUE(tools::ReadWholeFile(again, againBytes));
  EXPECT_EQ(againBytes, out);

  // An icon file that is no icon is passed over unless the caller insists.
  BuildRequest badIcon = in.request;
  badIcon.outputPath = (in.dir / "Plain.exe").string();
  badIcon.mainIconPath = in.request.moviePath;
  const BuildReport plain = BuildProjector(badIcon, files);
  ASSERT_EQ(plain.status, BuildStatus::kDone);
  EXPECT_FALSE(plain.mainIconReplaced);
  EXPECT_TRUE(plain.secondIconReplaced);

  // pefile sees the new icons under the group's numbers and no start page.
  auto listing = petest::ListResources({in.request.outputPath, badIcon.outputPath});
  const auto& lines = listing[in.request.outputPath];
  auto has = [&](const std::vector<std::string>& l, const std::string& prefix) {
    return std::any_of(l.begin(), l.end(), [&](auto& x) { return x.rfind(prefix, 0) == 0; });
  };
  EXPECT_TRUE(has(lines, "#3 #1 1033 300 0 " + Crc(in.mainImage)));
  EXPECT_TRUE(has(lines, "#3 #2 1033 200 0 " + Crc(in.secondImage)));
  EXPECT_TRUE(has(lines, "#14 #211 1033 20 "));
  EXPECT_TRUE(has(lines, "#14 #222 1033 20 "));
  EXPECT_FALSE(has(lines, "BINARY"));
  EXPECT_EQ(lines.size(), 4u);
  EXPECT_TRUE(has(listing[badIcon.outputPath], "#3 #1 1033 200 0 " + Crc(in.secondImage)));
  fs::remove_all(in.dir);
}

TEST(ProjectorBuilder, EveryFailureLeavesTheDestinationAsItWas) {
  Inputs in = MakeInputs("failures");
  auto put = [&](const char* file, const Bytes& bytes) {
    const std::string path = (in.dir / file).string();
    EXPECT_TRUE(tools::WriteWholeFile(path, bytes));
    return path;
  };
  ResourceTable versionOnly;
  versionOnly.Update(kRtVersion, 1, 0, VersionResource(1, 1));
  ResourceTable noVersion;
  noVersion.Update(10, 1, 0, Bytes(5000, 'C'));
  const std::string other = put("other.ocx", petest::MakeImage(versionOnly, {0x8664, true, false}));
  const std::string unversioned = put("plain.ocx", petest::MakeImage(noVersion, {0x14C, false}));
  const std::string empty = put("empty.ocx", {});
  const std::string notPe = put("text.exe", Bytes(5000, 'x'));
  const std::string missing = (in.dir / "missing").string();
  const Bytes previous = bytetest::Noise(777, 99);
  const std::string destination = put("Game.exe", previous);
  const auto before = [&] {
    std::vector<fs::path> names;
    for (const auto& e : fs::directory_iterator(in.dir)) names.push_back(e.path());
    std::sort(names.begin(), names.end());
    return names;
  }();

  const struct {
    const char* name;
    std::string BuildRequest::*field;
    std::string value;
    BuildStatus status;
    int message;
    bool fileSizeLimit = false;
  } cases[] = {
      {"program missing", &BuildRequest::basePath, missing, BuildStatus::kBaseUnusable, 112},
      {"program not a PE image", &BuildRequest::basePath, notPe, BuildStatus::kBaseUnusable, 112},
      {"folder of the destination missing", &BuildRequest::outputPath, missing + "/Game.exe",
       BuildStatus::kCannotCreateOutput, 112},
      {"control missing", &BuildRequest::controlPath, missing, BuildStatus::kCannotOpenControl,
       127},
      {"control empty", &BuildRequest::controlPath, empty, BuildStatus::kControlReadFailed, 115},
      {"control of the other processor", &BuildRequest::controlPath, other,
       BuildStatus::kControlWrongMachine, 127},
      {"control without a version", &BuildRequest::controlPath, unversioned,
       BuildStatus::kNoControlVersion, 121},
      {"movie missing", &BuildRequest::moviePath, missing, BuildStatus::kCannotOpenMovie, 113},
      {"icon not an icon, required", &BuildRequest::mainIconPath, notPe, BuildStatus::kIconUnusable,
       0},
      {"the disk refuses more bytes", &BuildRequest::outputPath, destination,
       BuildStatus::kWriteFailed, 114, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    BuildRequest request = in.request;
    request.outputPath = destination;
    request.iconsRequired = true;
    request.*c.field = c.value;
    PosixOutputFiles files;
    BuildReport report;
    if (c.fileSizeLimit) {
      // Writes past the limit fail with EFBIG instead of killing the test.
      rlimit old;
      ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
      auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
      rlimit small = old;
      small.rlim_cur = 2000;
      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
      report = BuildProjector(request, files);
      setrlimit(RLIMIT_FSIZE, &old);
      std::signal(SIGXFSZ, previousHandler);
    } else {
      report = BuildProjector(request, files);
    }
    EXPECT_EQ(report.status, c.status) << report.detail;
    EXPECT_EQ(BuildMessageId(report.status), c.message);
    Bytes now;
    ASSERT_TRUE(tools::ReadWholeFile(destination, now));
    EXPECT_EQ(now, previous);
    std::vector<fs::path> names;
    for (const auto& e : fs::directory_iterator(in.dir)) names.push_back(e.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, before) << "no temporary file stays behind";
  }
  fs::remove_all(in.dir);
}

}  // namespace
}  // namespace brim
