#pragma once
// A parsed movie: its header, its dictionary of characters and its timelines, as plain data.
// Nothing here runs; the display list (display_list.h) plays it.
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "player/bitmap.h"
#include "player/effects.h"
#include "player/geometry.h"
#include "player/morph_shape.h"
#include "player/movie_error.h"
#include "player/movie_file.h"
#include "player/shape.h"
#include "player/text/font.h"

namespace swf {

// What the engine accepts; larger movies are refused rather than exhausting memory.
inline constexpr size_t kMaxMovieBitmapPixels = 32u << 20;  // all bitmaps of a movie together
// Edges, styles, display commands and frames of a whole movie together: what bounds the
// memory a parsed movie takes whatever its file claims.
inline constexpr size_t kMaxMovieElements = 2'000'000;

// Clip events a handler of a placed sprite answers, as the flag bits of PlaceObject2/3 name
// them (the SWF 6 layout: 32 bits; SWF 5's 16 bits are its low half).
enum ClipEvent : uint32_t {
  kEventLoad = 1u << 0,
  kEventEnterFrame = 1u << 1,
  kEventUnload = 1u << 2,
  kEventMouseMove = 1u << 3,
  kEventMouseDown = 1u << 4,
  kEventMouseUp = 1u << 5,
  kEventKeyDown = 1u << 6,
  kEventKeyUp = 1u << 7,
  kEventData = 1u << 8,
  kEventInitialize = 1u << 9,
  kEventPress = 1u << 10,
  kEventRelease = 1u << 11,
  kEventReleaseOutside = 1u << 12,
  kEventRollOver = 1u << 13,
  kEventRollOut = 1u << 14,
  kEventDragOver = 1u << 15,
  kEventDragOut = 1u << 16,
  kEventKeyPress = 1u << 17,
  kEventConstruct = 1u << 18,
};

// One onClipEvent handler: the events it answers and its bytecode.
struct ClipAction {
  uint32_t events = 0;
  uint8_t keyCode = 0;  // kEventKeyPress only
  std::vector<uint8_t> bytes;
};

// PlaceObject, PlaceObject2 and PlaceObject3; absent fields keep what the object had.
struct PlaceObject {
  uint16_t depth = 0;
  bool move = false;  // changes the object at `depth` instead of placing a new one
  std::optional<uint16_t> characterId;
  std::optional<Matrix> matrix;
  std::optional<ColorTransform> colorTransform;
  std::optional<uint16_t> ratio;
  std::optional<std::string> name;
  std::optional<uint16_t> clipDepth;
  uint8_t blendMode = 0;  // 0: not given; otherwise a BlendMode, normal stored as 1
  std::optional<std::vector<Filter>> filters;
  std::optional<bool> cacheAsBitmap;
  std::optional<bool> visible;
  std::optional<Rgba> opaqueBackground;
  std::vector<ClipAction> clipActions;
};

struct RemoveObject {
  uint16_t depth = 0;
};

using DisplayCommand = std::variant<PlaceObject, RemoveObject>;

// Bytecode the frame carries, kept verbatim for the script interpreter.
struct ActionBlock {
  bool init = false;      // DoInitAction: runs once, before the frame's DoAction blocks
  uint16_t spriteId = 0;  // DoInitAction only: the sprite it initialises
  std::vector<uint8_t> bytes;
  // How many of its frame's display commands come before it in the file: a clip placed ahead
  // of a script has its first frame's actions queued ahead of that script.
  size_t commandsBefore = 0;
};

struct Frame {
  std::vector<DisplayCommand> commands;  // in file order
  std::vector<ActionBlock> actions;
  std::vector<std::string> labels;
};

struct Timeline {
  uint16_t frameCount = 1;    // at least 1, and at least frames.size()
  std::vector<Frame> frames;  // frames past the last ShowFrame are empty and not stored
  // A sprite plays the frames it holds, whatever its header says, and goes back to its first
  // only when its tags closed with an End right after a ShowFrame: one cut short (or with tags
  // past its last ShowFrame) plays to its end and stays there, as a download that stopped.
  bool loops = true;
  size_t playFrames = 0;  // sprites: frames.size(); 0 for the main timeline (frameCount)

  const Frame& At(size_t index) const;
  // Frame index of `label` (ASCII case-insensitive, as movies address them), if any.
  std::optional<size_t> FindLabel(std::string_view label) const;
};

struct Sprite {
  Timeline timeline;
  uint32_t byteLength = 0;  // its tags as stored, the bytes a script sees it load
};

// A button's four states: which records show when the pointer is away (up), over it, pressing
// it (down), and which shapes take the pointer (hit).
enum ButtonStates : uint8_t {
  kButtonUp = 1,
  kButtonOver = 2,
  kButtonDown = 4,
  kButtonHit = 8,
};

// One character a button shows in some of its states.
struct ButtonRecord {
  uint8_t states = 0;  // ButtonStates bits
  uint16_t characterId = 0;
  uint16_t depth = 0;
  Matrix matrix;
  ColorTransform colors;
  uint8_t blendMode = 0;
  std::vector<uint8_t> filters;  // the filter list as stored, count byte first
};

// The pointer and key transitions a button action answers, as DefineButton2 packs them.
enum ButtonCondition : uint16_t {
  kCondIdleToOverUp = 1u << 0,  // roll over
  kCondOverUpToIdle = 1u << 1,  // roll out
  kCondOverUpToOverDown = 1u << 2,  // press
  kCondOverDownToOverUp = 1u << 3,  // release
  kCondOverDownToOutDown = 1u << 4,  // drag out
  kCondOutDownToOverDown = 1u << 5,  // drag over
  kCondOutDownToIdle = 1u << 6,  // release outside
  kCondIdleToOverDown = 1u << 7,  // drag over (menu)
  kCondOverDownToIdle = 1u << 8,  // drag out (menu)
};

struct ButtonAction {
  uint16_t conditions = 0;  // ButtonCondition bits
  uint8_t keyCode = 0;      // 0 for none; else the key that runs it (a code or a character)
  ActionBlock block;
};

struct Button {
  std::vector<ButtonRecord> records;
  std::vector<ButtonAction> actions;
  // A menu button takes a press that started on another button of the same kind.
  bool trackAsMenu = false;
  // DefineButton (the first kind): its one action block runs on release; records carry no
  // colour transform of their own but may be given one by DefineButtonCxform.
  bool firstKind = false;
};

// DefineVideoStream: a screen for video frames. No frame is decoded, but the object still
// takes its place on the stage at its size, and scripts read its settings.
struct VideoStream {
  uint16_t frameCount = 0;
  uint16_t width = 0, height = 0;  // pixels
  uint8_t deblocking = 0;          // 0: as the video asks; 1: off; higher: stronger
  bool smoothing = false;
  uint8_t codec = 0;
};

// Static text (DefineText) is read into a Shape: it draws, measures and hit-tests as one.
using Character =
    std::variant<Shape, Bitmap, Sprite, Button, MorphShape, Font, EditTextDef, VideoStream>;

struct Movie : BitmapSource {
  MovieHeader header;
  Rgba background{255, 255, 255, 255};
  Timeline timeline;
  std::map<uint16_t, Character> dictionary;
  // What the static text characters of the dictionary say.
  std::map<uint16_t, StaticText> staticTexts;
  // ExportAssets: the names scripts attach library symbols by, and the main timeline's frame
  // (from 0) that exports each.
  struct Export {
    uint16_t character = 0;
    size_t frame = 0;
  };
  std::map<std::string, Export> exports;
  // DefineSound: what a script asks of an event sound. Nothing is played, but a sound's length
  // still paces a movie that waits for it to end.
  struct SoundInfo {
    uint32_t sampleCount = 0;
    double rate = 0;  // samples per second
    double DurationMs() const { return rate > 0 ? sampleCount * 1000.0 / rate : 0; }
  };
  std::map<uint16_t, SoundInfo> sounds;
  // ScriptLimits: how deep script calls may nest before the running script is stopped.
  uint16_t maxRecursion = 256;
  // FileAttributes: a local movie that asked for the network rather than local files.
  bool useNetwork = false;

  const Character* Find(uint16_t id) const;
  // The character exported as `name` (ASCII case-insensitive, as attachMovie looks it up) by
  // one of the main timeline's first `framesReached` frames: a symbol is there for scripts only
  // once the frame exporting it has played.
  std::optional<uint16_t> FindExport(std::string_view name, size_t framesReached) const;
  const Bitmap* FindBitmap(uint16_t id) const override;
};

// Parses a whole file ("FWS" or "CWS"). On error `out` holds what was read before it.
MovieError ParseMovie(std::span<const uint8_t> file, Movie& out);

}  // namespace swf
