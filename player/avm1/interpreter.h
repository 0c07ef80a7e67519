#pragma once
// The ActionScript 1/2 virtual machine: runs action blocks against a heap of objects and the
// clips the host shows. Every block runs under an instruction budget and calls nest at most
// kMaxCallDepth deep, so a runaway script stops and the movie goes on.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "player/avm1/clip_host.h"
#include "player/avm1/input_state.h"
#include "player/avm1/object.h"
#include "player/avm1/text.h"
#include "player/avm1/value.h"
#include "player/host_services.h"

namespace swf::avm1 {

inline constexpr int kMaxCallDepth = 256;
// A property's getter, setter and watcher together nest at most this deep in SWF 7 movies (in
// older ones they do not nest at all); past it the property reads and keeps a plain value and
// the script carries on.
inline constexpr int kMaxAccessorDepth = 65;
// Instructions one action block may run, the functions it calls included: enough for a
// movie's honest long loops (thousands of iterations of a few dozen actions), few enough that
// a runaway script stops within seconds.
inline constexpr uint64_t kInstructionBudget = 5'000'000;
// Blocks' worth of instructions all the frame scripts of one frame may run together. Each
// goto queues the target frame's scripts, so two frames that go to each other would otherwise
// run block after block, each within its own budget, and never end the frame.
inline constexpr uint64_t kBlocksPerFrame = 4;
// The most places one Array method walks (a length may say two billion with nothing behind
// it); past it the script stops, as a script that ran too long would.
inline constexpr size_t kMaxArrayElements = size_t{1} << 20;
// Bytes of text all live strings together may hold. No honest movie comes near it; a script
// that keeps every longer string it builds reaches it long before memory runs out, and stops.
inline constexpr size_t kMaxStringBytes = size_t{256} << 20;
// Objects one movie may make; past it `new` and literals give undefined.
inline constexpr size_t kMaxObjects = 500'000;
// The platform and version movies read from System.capabilities.version and the main
// timeline's `$version`; movies made for player detection compare it with what they need.
inline constexpr std::string_view kPlayerVersion = "WIN 9,0,0,0";

struct Activation;
class DecodedCode;

class Interpreter {
 public:
  using TraceSink = std::function<void(std::string_view)>;

  // `host` (which must outlive this) may be null: clip actions then do nothing and scripts
  // run on a plain object standing in for the main timeline.
  Interpreter(int version, ClipHost* host);
  ~Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  void SetTrace(TraceSink sink) { trace_ = std::move(sink); }
  // Receives GetURL and GetURL2 requests as the action runs them, so that whatever the host
  // does in answer (setting a variable, say) is there for the next action.
  struct UrlRequest {
    std::string url;
    std::string target;  // a window name, a clip path or, for fscommand, its arguments
    int method = 0;      // 0 none, 1 GET, 2 POST
    bool loadTarget = false;
    bool loadVariables = false;
    std::string data;      // what a POST sends (a GET carries it in the URL already)
    std::string contentType;  // what `data` is when it is not form variables
    uint64_t replyId = 0;  // not 0: the host hands the bytes back through DeliverData
    int socketPort = -1;   // not -1: a socket connection to the host `url` names
    // Where a movie or variables load to: a clip, or a level (-1: none). Resolved while the
    // script that asked runs, since a target path is read from that script's clip.
    ClipRef clip;
    int32_t level = -1;
  };
  using UrlSink = std::function<void(const UrlRequest&)>;
  void SetUrlSink(UrlSink sink) { urlSink_ = std::move(sink); }
  // The host's file dialog. FileReference asks it to open, and hears the user's answer through
  // the answerer it installs; an empty list is a dialog cancelled.
  void SetFileDialogOpener(FileDialogOpener opener) { fileDialogOpener_ = std::move(opener); }
  bool OpenFileDialog(const FileDialogRequest& r) {
    return fileDialogOpener_ && fileDialogOpener_(r);
  }
  using FileDialogAnswerer = std::function<void(Interpreter&, const std::vector<ChosenFile>&)>;
  void SetFileDialogAnswerer(FileDialogAnswerer answerer) {
    fileDialogAnswerer_ = std::move(answerer);
  }
  void AnswerFileDialog(const std::vector<ChosenFile>& files) {
    EnterHost();
    if (fileDialogAnswerer_) fileDialogAnswerer_(*this, files);
  }
  // The size in pixels of the window the movie is shown in (0 when not known): a stage that
  // scripts set not to scale is that big, and its listeners hear when that changes.
  void SetViewSize(int width, int height);
  std::pair<int, int> ViewSize() const { return {viewWidth_, viewHeight_}; }
  void RequestUrl(const UrlRequest& request) {
    if (urlSink_) urlSink_(request);
  }
  // A page open or load that names a method sends the variables of the timeline that asked:
  // GET adds them to the address, POST gives them as the body.
  void AttachVariables(UrlRequest& request, Object* timeline);

  // Sends `request` with a fresh reply id and remembers `receiver` (an XML or LoadVars
  // object, or a clip loading variables) until the bytes come.
  uint64_t RequestData(UrlRequest request, Object* receiver);
  // The bytes that arrived for a request made by RequestData, or nothing when the load failed;
  // the receiver hears of it through its onData. An unknown or answered id is ignored.
  void DeliverData(uint64_t replyId, const std::optional<std::string>& bytes);

  // The host's way in, with paths as hosts write them: "name" on the main timeline,
  // "/clip/inner:name", "_level0.clip.name". A variable that is not there (or undefined)
  // reads as nothing.
  std::optional<std::string> GetPathVariable(std::string_view path);
  // False when the path's clip or object is not there.
  bool SetPathVariable(std::string_view path, std::string_view value);
  // The clip a host target names ("" and "/" for the main timeline).
  std::optional<ClipRef> ResolveClip(std::string_view target);
  // A clip's property by the number GetProperty and SetProperty use (0 `_x` ... 21 `_ymouse`),
  // with the conversions a script's own would make. Nothing (or false) for a number outside
  // them.
  std::optional<Value> GetClipPropertyAt(const ClipRef& clip, int index);
  bool SetClipPropertyAt(const ClipRef& clip, int index, const Value& value);
  // The clip a path names as the running script reads it: relative to the clip it acts on,
  // from the main timeline when no script runs.
  std::optional<ClipRef> ResolveClipFromScript(std::string_view target);
  // Runs the scripts of `clip`'s frame `frame` (from 0) now, the playhead staying where it is.
  // False when the clip or the frame is not there.
  bool CallFrame(const ClipRef& clip, size_t frame);
  // Runs `code` as a frame script of `clip` (the main timeline when the host is null).
  void RunFrameScript(std::span<const uint8_t> code, const ClipRef& clip = {});
  // A new frame's scripts start on an empty stack (what the last frame's left is dropped) and
  // with a whole frame's budget again.
  void StartFrame() {
    stack_.clear();
    frameBudget_ = budgetPerBlock_ * kBlocksPerFrame;
  }
  // Instructions each block may run from now on (kInstructionBudget unless set).
  void SetInstructionBudget(uint64_t budget) {
    budgetPerBlock_ = budget;
    frameBudget_ = budget * kBlocksPerFrame;
  }
  // Brackets a clip's unload handlers, which still see the clip that is leaving.
  void BeginUnload() { ++unloading_; }
  // `clip` is leaving the stage (while it still answers): a script's reference to it goes on
  // to name whatever clip later stands at its path.
  void ClipLeaving(const ClipRef& clip);
  void EndUnload() { --unloading_; }
  // How deep calls may nest (a movie's ScriptLimits), at most kMaxCallDepth.
  void SetMaxCallDepth(int depth) { maxCallDepth_ = std::clamp(depth, 1, kMaxCallDepth); }
  // Charges work done by native code (pixels a bitmap operation touches) to the running
  // block's budget, in instructions: a loop of heavy calls stops as a long loop does. False
  // (and the block stopped) when the budget cannot cover it: the work must then not be done.
  // Outside any script (the host calling in) there is no budget to charge.
  bool ChargeWork(uint64_t instructions) {
    if (budget_ == 0 && !stopped_) return true;
    const bool covered = instructions <= budget_;
    budget_ = covered ? budget_ - instructions : 0;
    stopped_ = stopped_ || !covered;
    return covered;
  }
  // Whether a string of `length` bytes may be made by copying `copied` bytes. Copying is
  // charged one instruction per 128 bytes, so a script may build a string of some hundred
  // kilobytes piece by piece, as in the original; what all live strings hold is bounded
  // apart. When either runs out the running script stops as one that ran too long does, and
  // the string must not be made.
  bool MayMakeString(size_t copied, size_t length) {
    if (!ChargeWork(copied / 128)) return false;
    if (length <= kMaxStringBytes && Value::LiveStringBytes() <= kMaxStringBytes - length) {
      return true;
    }
    budget_ = 0;
    stopped_ = true;
    return false;
  }
  // Whether the last block ran out of budget or of call depth.
  bool Stopped() const { return stopped_; }

  int Version() const { return version_; }
  bool CaseSensitive() const { return version_ >= 7; }
  Object* Global() { return global_; }
  ClipHost* Host() { return host_; }

  // Objects, made in the heap (null when the heap is full).
  Object* NewObject(Object* proto);
  Object* NewPlainObject() { return NewObject(objectProto_); }
  Object* NewArray(std::vector<Value> elements = {});
  Object* NewNative(NativeFunction fn, NativeFunction construct = {});
  Object* ClipObject(const ClipRef& clip);
  Object* BoxPrimitive(const Value& v);
  // Makes a plain object hold `v` as a String, Number or Boolean object does (what those
  // classes do to `this` when a subclass's constructor calls them through super).
  void BoxInto(Object* o, const Value& v);
  // A string, number or boolean made an object to look something up on, call or run as
  // `this`: by whatever the global of its class's name holds now (so a script that replaced
  // String sees its own class made), or undefined when that is no class. False when the
  // class is still the player's own: the caller takes its quick way then.
  bool CoercedByScript(const Value& v, Value& out);

  // `resolve` false: a name the object lacks is not asked of its __resolve (conversions look
  // up valueOf and toString so).
  Value GetMember(const Value& object, std::string_view name, bool resolve = true);
  // Whether `object` or its prototypes (or, for a clip, its children and properties) have `name`.
  bool HasProperty(Object* object, std::string_view name);
  void SetMember(const Value& object, std::string_view name, Value value);
  // What a watcher of `name` on `o` makes of a value about to be written (the value itself
  // when there is none, or it already nests as deep as it may).
  Value Watched(Object* o, std::string_view name, Value value);
  bool DeleteMember(const Value& object, std::string_view name);
  // Own and inherited enumerable names, most derived first, newest first.
  std::vector<std::string> EnumerableNames(Object* object);
  Value Call(const Value& function, const Value& thisValue, std::span<const Value> args);
  Value Construct(const Value& constructor, std::span<const Value> args);
  // What `new` leaves on every object it makes before the constructor runs: the prototype link
  // (`prototype` as it was read) and the constructor's name for it.
  void MarkInstance(Object* o, const Value& prototype, Object* constructor);
  // Whether the innermost bytecode function running was started by `new`.
  bool InConstructor() const { return !constructing_.empty() && constructing_.back(); }

  Value ToPrimitive(const Value& v, bool preferString = false);
  // The primitive an object gives where a number is wanted (comparisons, arithmetic).
  Value ToPrimitiveNumber(const Value& v);
  double ToNumber(const Value& v);
  std::string ToString(const Value& v);
  std::string TypeOf(const Value& v);
  // The `_target`-style path of a clip ("/" for the main timeline, "/a/b" below it).
  std::string ClipTarget(const ClipRef& clip);
  // `_level0`-style dot path of a clip, as a clip converts to a string.
  std::string ClipDotPath(const ClipRef& clip);
  bool InstanceOf(const Value& object, const Value& constructor);
  // What Object.registerClass has registered: names to constructors.
  Object* RegisteredClasses() const { return clipClasses_; }
  // Whether `proto` is on the chain from `start`, interfaces included.
  bool InheritsFrom(Object* start, Object* proto, int nesting);
  // `super` for a call of `function` on `thisValue`.
  Value MakeSuper(Object* function, const Value& thisValue);
  double Milliseconds() const;
  // A whole number from 0 up to `max` (exclusive).
  double Random(double max);
  // Runs a block on `clip` within the current budget (the Call action, and frame scripts).
  void RunNested(std::span<const uint8_t> code, const ClipRef& clip);
  void Trace(std::string_view line) {
    if (trace_) trace_(ForOutput(line));
  }

  // Frees the objects nothing reaches any more. Only between scripts: C++ code running a
  // script holds objects the collector cannot see. Gives how many it freed.
  size_t Collect();
  // Collects once the heap has grown enough since the last time to be worth the walk.
  void CollectIfDue();
  size_t HeapSize() const { return heap_.size(); }
  // Objects that C++ code outside the interpreter keeps (a host's own table of objects, say)
  // must be reported by a root source, or the collector frees them.
  using RootSource = std::function<void(const std::function<void(Object*)>& keep)>;
  void AddRootSource(RootSource source) { rootSources_.push_back(std::move(source)); }

  // ASnative's table: the player's own functions by category and index, as ASnative and
  // ASSetNative hand them out.
  void RegisterNative(int32_t category, int32_t index, NativeFunction fn) {
    natives_[NativeKey(category, index)] = std::move(fn);
  }
  const NativeFunction* FindNative(int32_t category, int32_t index) const {
    const auto it = natives_.find(NativeKey(category, index));
    return it == natives_.end() ? nullptr : &it->second;
  }

  // Lets `milliseconds` of movie time pass: the intervals and timeouts due by then fire, then
  // the hooks given to OnClockAdvanced run (a sound that has ended tells its movie).
  void AdvanceClock(double milliseconds);
  void OnClockAdvanced(std::function<void()> hook) { clockHooks_.push_back(std::move(hook)); }
  // The movie's time in milliseconds: how far AdvanceClock has moved it.
  double MovieClock() const { return clock_; }
  // Calls a script's function from outside any script, as timers and sound events do: with a
  // fresh budget, an uncaught exception reported the way the player reports it.
  void CallFromOutside(const Value& function, const Value& thisValue, std::span<const Value> args);

  // The clip side (clip_methods.cpp): a clip's built-in properties (_x, _alpha, ...) by name,
  // false when `name` is none of them; calling a clip's event method (onLoad, ...) from the
  // host; the SWF 4 clone and remove actions.
  bool GetClipProperty(const ClipRef& clip, std::string_view name, Value& out);
  bool SetClipProperty(const ClipRef& clip, std::string_view name, const Value& value);
  void CallClipMethod(const ClipRef& clip, std::string_view name);
  // Gives a new clip of a symbol registered with Object.registerClass its class: the
  // prototype, then the constructor run on it. Once per clip. `first` (the clip's own
  // construct handlers) runs between the two.
  void ConstructClip(const ClipRef& clip, const std::function<void()>& first = {});
  void CloneClip(const Value& source, const std::string& name, double depth);
  void RemoveClip(const Value& clip);

  // The input side (input_objects.cpp): the pointer and keys scripts read, dragging, and the
  // keyboard focus with its events (onKillFocus, onSetFocus, Selection's listeners).
  InputState& Input() { return input_; }
  void StartDrag(const ClipRef& clip, bool lockCenter, std::optional<TwipsRect> bounds);
  void StopDrag();
  // Moves the focus to `object` (0 for none); false when it cannot take it.
  bool SetFocus(uint64_t object);
  // Takes the focus away when it rests on `object` or inside it and that is off the stage or
  // hidden (0: whatever has it).
  void DropFocusWithin(uint64_t object);
  // Takes the focus away when it rests on `object` or inside it, which is about to go: the
  // focus events still name what loses it.
  void ReleaseFocusWithin(uint64_t object);
  // Tells `broadcaster` (a global such as "Mouse" or "Key") to send `message` to its listeners.
  void Broadcast(std::string_view broadcaster, std::string_view message,
                 std::span<const Value> args = {});

  Object* objectProto_ = nullptr;
  // String, Number and Boolean as the player made them.
  Object* stringCtor_ = nullptr;
  Object* numberCtor_ = nullptr;
  Object* booleanCtor_ = nullptr;
  Object* functionProto_ = nullptr;
  Object* arrayProto_ = nullptr;
  Object* stringProto_ = nullptr;
  Object* numberProto_ = nullptr;
  Object* booleanProto_ = nullptr;
  Object* clipProto_ = nullptr;
  Object* buttonProto_ = nullptr;
  Object* textFieldProto_ = nullptr;
  Object* videoProto_ = nullptr;
  // The stage's settings as scripts set them through Stage. They are the player's, not the
  // Stage object's: that stays a plain object, one a class constructor may still claim.
  struct StageSettings {
    std::string scaleMode = "showAll";
    std::string align;
    std::string displayState = "normal";
    bool showMenu = true;
  };
  StageSettings stageSettings_;

  // Edit fields (text_field_methods.cpp). A field bound to a variable shows the variable's
  // value; SyncFields brings every field under `clip` up to date (the host calls it after each
  // frame's scripts).
  void SyncField(DisplayObject& field);
  void SyncFields(DisplayObject& clip);
  // Typing into an editable field, as focus routing delivers it: `text` inserted at the caret
  // (erase 0), or one character erased before (-1) or after (1) it. Listeners hear onChanged.
  bool TypeIntoField(const ClipRef& field, std::u32string_view text, int erase = 0);

 private:
  friend struct Executor;
  // Brackets a block started from outside any script (a frame script, an event handler, a
  // timer): it runs on what the frame's scripts have left, a block's worth at most, and what
  // it spends is taken from the frame. Inside a running script it changes nothing, as the
  // block shares that script's budget.
  class OutermostBlock {
   public:
    explicit OutermostBlock(Interpreter& vm) : vm_(vm), outermost_(vm.depth_ == 0) {
      if (!outermost_) return;
      given_ = vm_.budget_ = std::min(vm_.budgetPerBlock_, vm_.frameBudget_);
      // Once the frame's scripts have spent the frame's budget, the rest wait for a new frame.
      vm_.stopped_ = given_ == 0;
    }
    ~OutermostBlock() {
      if (!outermost_) return;
      vm_.frameBudget_ -= std::min(vm_.frameBudget_, given_ - std::min(given_, vm_.budget_));
    }
    OutermostBlock(const OutermostBlock&) = delete;
    OutermostBlock& operator=(const OutermostBlock&) = delete;

   private:
    Interpreter& vm_;
    const bool outermost_;
    uint64_t given_ = 0;
  };
  void InstallBuiltins();
  void InstallClipMethods();
  void InstallDrawingMethods();
  void InstallGlobalFunctions();
  void InstallObjectMethods();
  void InstallBroadcaster();
  void InstallTimers();
  // setInterval / setTimeout: the timer's id, or undefined when the arguments make none.
  Value AddTimer(std::span<const Value> args, bool repeat);
  struct Timer {
    int id = 0;
    double due = 0, interval = 0;
    bool repeat = false;
    Object* function = nullptr;  // called with no `this`
    Object* object = nullptr;    // or `method` looked up on it when the time comes
    std::string method;
    std::vector<Value> args;
  };
  std::vector<Timer> timers_;
  std::vector<std::function<void()>> clockHooks_;
  std::vector<RootSource> rootSources_;
  static uint64_t NativeKey(int32_t category, int32_t index) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(category)) << 32) |
           static_cast<uint32_t>(index);
  }
  std::unordered_map<uint64_t, NativeFunction> natives_;
  size_t liveAfterCollect_ = 0;
  int nextTimerId_ = 1;
  double clock_ = 0;
  void InstallInputObjects();
  void InstallTextMethods();
  // What every new field object carries: its listener list, with itself in it.
  void InitTextField(Object* field);
  Value Execute(const FunctionCode& code, Activation& act, std::vector<Value>* stack = nullptr);
  // The decoded form of a frame script (or any block run by RunNested), kept for its next run.
  std::shared_ptr<DecodedCode> DecodedBlock(std::span<const uint8_t> code);
  std::unordered_map<const uint8_t*, std::shared_ptr<DecodedCode>> blocks_;
  size_t blockBytes_ = 0;
  // False (and the script stopped) when calls nest too deep.
  bool EnterCall();
  Value CallCode(Object* function, const Value& thisValue, std::span<const Value> args);
  Value GetClipMember(Object* clip, std::string_view name, bool& found);
  // Whether `o` is a clip that has left the stage.
  bool ClipGone(const Object* o);
  // What a reference to a clip stands for: the clip itself while it is on the stage, else the
  // clip now found along the path it had when it left (null when there is none).
  Object* Resolved(Object* o);

  int version_;
  ClipHost* host_;
  // Gives a host call a budget of its own unless it comes from inside a running script.
  void EnterHost();
  TraceSink trace_;
  UrlSink urlSink_;
  FileDialogOpener fileDialogOpener_;
  FileDialogAnswerer fileDialogAnswerer_;
  int viewWidth_ = 0, viewHeight_ = 0;
  std::vector<std::unique_ptr<Object>> heap_;
  Object* global_ = nullptr;
  Object* standInRoot_ = nullptr;  // the main timeline when there is no host
  std::unordered_map<uint64_t, Object*> clips_;
  // The paths clips that scripts hold had when they left the stage, by handle.
  std::unordered_map<uint64_t, std::string> departedPaths_;
  Object* clipClasses_ = nullptr;  // Object.registerClass: symbol name -> constructor
  std::vector<Value> stack_;  // the stack frame scripts share
  Activation* running_ = nullptr;  // the innermost script or function running
  std::vector<std::vector<Value>> spareStacks_;  // emptied stacks of calls that have ended
  std::vector<Value> globalRegisters_ = std::vector<Value>(4);
  uint64_t budget_ = 0;
  uint64_t budgetPerBlock_ = kInstructionBudget;
  uint64_t frameBudget_ = kInstructionBudget * kBlocksPerFrame;
  int depth_ = 0;
  // An exception thrown while an action turned an object into a string waits for that action
  // (or the action that called the native code doing it) to end, so the action still finishes
  // with the object's type name.
  std::optional<Value> deferredThrow_;
  int deferredDepth_ = 0;
  void DeferThrow(Value value) {
    if (!deferredThrow_) {
      deferredThrow_ = std::move(value);
      deferredDepth_ = depth_;
    }
  }
  int maxCallDepth_ = kMaxCallDepth;
  int unloading_ = 0;
  // How deep the getter, setter and watcher of each property nest right now, by the property's
  // call key; a property whose count has reached the limit acts as a plain value.
  std::unordered_map<uint32_t, int> accessorDepths_;
  uint32_t lastCallKey_ = 0;
  uint32_t CallKey(uint32_t& key) {
    if (key == 0) key = ++lastCallKey_ == 0 ? ++lastCallKey_ : lastCallKey_;
    return key;
  }
  bool AccessorFree(uint32_t key) const {
    const auto it = accessorDepths_.find(key);
    return it == accessorDepths_.end() || it->second < (version_ >= 7 ? kMaxAccessorDepth : 1);
  }
  friend struct AccessorTurn;
  std::vector<Object*> callers_;  // the bytecode functions running, innermost last
  // Beside callers_: whether each was started by `new` (what ASnative 2,0 answers).
  std::vector<bool> constructing_;
  bool nextCallConstructs_ = false;
  bool stopped_ = false;
  std::shared_ptr<const ConstantPool> noConstants_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::mt19937_64 random_{0x5EED};
  InputState input_;
  // Player-wide settings scripts may change: the drawing quality (0 low, 1 medium, 2 high,
  // 3 best; drawing does not vary with it) and the sound buffer, in whole seconds.
  int quality_ = 2;
  int32_t soundBufferTime_ = 5;
};

}  // namespace swf::avm1
