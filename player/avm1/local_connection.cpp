// LocalConnection between the connections of the movies this player runs. A message waits for
// the end of the frame: then the sender hears through onStatus whether anybody listened on the
// channel, and the listener's method runs with the arguments as they were when sent, carried
// in AMF0 as they would be between two players.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "player/avm1/amf0.h"
#include "player/avm1/library.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {
namespace {

// A movie played from disk stands in the domain the original gives such movies.
constexpr std::string_view kDomain = "localhost";
// Messages one frame may queue, and the bytes they may hold; a script sending in a loop is
// refused past either.
constexpr size_t kMaxQueued = 1024;
constexpr size_t kMaxQueuedBytes = size_t{16} << 20;

struct Message {
  Object* sender = nullptr;
  std::string channel, method;
  std::string args;  // AMF0 values, one after another
  size_t count = 0;
  bool heard = false;  // somebody listened on the channel when it was sent
};

struct Connections {
  std::vector<std::pair<std::string, Object*>> channels;  // listeners by channel key
  std::vector<Message> queue;
  size_t queuedBytes = 0;
  Object* quietCall = nullptr;  // calls a listener, its uncaught exceptions dropped
};

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

// A channel without a host names one in this domain; a name starting with '_' is the same
// from every domain. Names are compared without regard to case.
std::string ChannelKey(std::string_view name) {
  if (name[0] == '_' || name.find(':') != std::string_view::npos) return Lower(name);
  return Lower(std::string(kDomain) + ":" + std::string(name));
}

// The text an argument must be: a non-empty string, no other type converted.
bool TextArg(std::span<const Value> args, size_t i, std::string& out) {
  if (i >= args.size() || !args[i].IsString() || args[i].AsString().empty()) return false;
  out = args[i].AsString();
  return true;
}

bool Protected(std::string_view method) {
  for (const char* name :
       {"send", "connect", "close", "allowDomain", "allowInsecureDomain", "domain"}) {
    if (NamesEqual(method, name, false)) return true;
  }
  return false;
}

void Deliver(Interpreter& vm, Connections& c) {
  std::vector<Message> now;
  now.swap(c.queue);
  c.queuedBytes = 0;
  for (const Message& m : now) {
    const auto at = std::find_if(c.channels.begin(), c.channels.end(),
                                 [&](const auto& ch) { return ch.first == m.channel; });
    // Only a channel that had a listener both when the message was sent and now delivers it,
    // to whoever listens now.
    Object* receiver = at == c.channels.end() || !m.heard ? nullptr : at->second;
    if (Object* event = vm.NewPlainObject()) {
      vm.SetMember(event, "level", receiver ? "status" : "error");
      const Value args[] = {event};
      vm.CallFromOutside(vm.GetMember(m.sender, "onStatus"), m.sender, args);
    }
    if (!receiver || !c.quietCall) continue;
    std::vector<Value> call = {receiver, Value(m.method)};
    AmfObjects objects(vm);
    size_t pos = 0;
    for (size_t i = 0; i < m.count; ++i) {
      std::optional<AmfNode> node = ReadAmf0(m.args, pos);
      if (!node) break;
      call.push_back(objects.Make(*node));
    }
    vm.CallFromOutside(c.quietCall, Value(), call);
  }
}

}  // namespace

void InstallLocalConnection(Interpreter& vm) {
  Object* ctor =
      DefineClass(vm, vm.Global(), "LocalConnection", [](Interpreter& vm, const Value& self, auto) {
        return Claim(vm, self);
      });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  auto state = std::make_shared<Connections>();
  // A listener that throws is the receiving movie's business; the sender hears nothing of it.
  state->quietCall = vm.NewNative([](Interpreter& vm, const Value&, std::span<const Value> a) {
    if (a.size() < 2) return Value();
    try {
      vm.Call(vm.GetMember(a[0], vm.ToString(a[1])), a[0], a.subspan(2));
    } catch (const ScriptException&) {
    }
    return Value();
  });
  // Connected listeners stay alive while connected, whoever else holds them.
  vm.AddRootSource([state](const std::function<void(Object*)>& keep) {
    for (const auto& ch : state->channels) keep(ch.second);
    for (const Message& m : state->queue) keep(m.sender);
    if (state->quietCall) keep(state->quietCall);
  });
  Interpreter* machine = &vm;
  vm.OnClockAdvanced([machine, state] { Deliver(*machine, *state); });

  auto channelOf = [state](Object* o) {
    return std::find_if(state->channels.begin(), state->channels.end(),
                        [o](const auto& ch) { return ch.second == o; });
  };
  AddMethod(vm, proto, "connect",
            [state, channelOf](Interpreter&, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              std::string name;
              if (!o || !TextArg(a, 0, name) || name.find(':') != std::string::npos) {
                return Value(false);
              }
              if (channelOf(o) != state->channels.end()) return Value(false);
              const std::string key = ChannelKey(name);
              for (const auto& ch : state->channels) {
                if (ch.first == key) return Value(false);
              }
              state->channels.emplace_back(key, o);
              return Value(true);
            });
  AddMethod(vm, proto, "close",
            [state, channelOf](Interpreter&, const Value& self, std::span<const Value>) {
              const auto at = channelOf(self.AsObject());
              if (at != state->channels.end()) state->channels.erase(at);
              return Value();
            });
  AddMethod(vm, proto, "send",
            [state](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              Message m;
              std::string name;
              if (!o || !TextArg(a, 0, name) || !TextArg(a, 1, m.method) || Protected(m.method) ||
                  state->queue.size() >= kMaxQueued) {
                return Value(false);
              }
              m.sender = o;
              m.channel = ChannelKey(name);
              for (const auto& ch : state->channels) m.heard = m.heard || ch.first == m.channel;
              m.count = a.size() - 2;
              // The receiving movie gets its own copy of each object, however often the
              // message holds it.
              WriteAmf0(vm, a.subspan(2), m.args, true);
              if (state->queuedBytes + m.args.size() > kMaxQueuedBytes) return Value(false);
              state->queuedBytes += m.args.size();
              state->queue.push_back(std::move(m));
              return Value(true);
            });
  AddMethod(vm, proto, "domain", [](Interpreter&, const Value&, std::span<const Value>) {
    return Value(std::string(kDomain));
  });
}

}  // namespace swf::avm1
