// Data a script loads and sends: LoadVars, the load methods XML shares with it, and the road
// from a request to the host and back. The host answers a request that wants a reply with
// DeliverData; until then the receiver waits in a list kept on _global's hidden side, so that
// it stays alive as long as its load does.
#include <cstdio>
#include <string>
#include <vector>

#include "player/avm1/arrays.h"
#include "player/avm1/library.h"
#include "player/avm1/script_error.h"
#include "player/url_variables.h"

namespace swf::avm1 {
namespace {

// Pending receivers by reply id ("1", "2", ...) and the last id given out.
Object* PendingLoads(Interpreter& vm) {
  Object* global = vm.Global();
  if (global->internal.empty()) global->internal.push_back(vm.NewPlainObject());
  return global->internal[0].AsObject();
}

Value CallMethod(Interpreter& vm, const Value& self, const char* name,
                 std::span<const Value> args = {}) {
  return vm.Call(vm.GetMember(self, name), self, args);
}

// "POST" (the default) or "GET", as send and sendAndLoad take it.
int MethodArg(Interpreter& vm, const Value& v) {
  if (v.IsUndefined()) return 2;
  std::string m = vm.ToString(v);
  for (char& c : m) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return m == "GET" ? 1 : 2;
}

Interpreter::UrlRequest Request(Interpreter& vm, const Value& self, const Value& url, int method,
                                bool withBody) {
  Interpreter::UrlRequest r;
  r.url = vm.ToString(url);
  r.method = method;
  if (withBody) {
    r.data = vm.ToString(self);
    if (method == 1 && !r.data.empty()) {
      r.url += (r.url.find('?') == std::string::npos ? '?' : '&') + r.data;
      r.data.clear();
    }
  }
  return r;
}

void StartLoad(Interpreter& vm, Object* receiver, Interpreter::UrlRequest r) {
  const bool cs = vm.CaseSensitive();
  receiver->SetOwn("loaded", false, cs);
  receiver->SetOwn("_bytesLoaded", 0, cs);
  receiver->SetOwn("_bytesTotal", Value(), cs);
  vm.RequestData(std::move(r), receiver);
}

}  // namespace

void Interpreter::AttachVariables(UrlRequest& request, Object* timeline) {
  if (request.method == 0 || !timeline) return;
  // Only the timeline's own variables: its methods and the clips inside it are no values a
  // form could carry.
  // Names first: a getter or a toString run below may change the properties.
  std::vector<std::string> names;
  for (auto p = timeline->props.rbegin(); p != timeline->props.rend(); ++p) {
    if (!(p->flags & kDontEnum)) names.push_back(p->name);
  }
  std::string form;
  for (const std::string& name : names) {
    const Value value = GetMember(Value(timeline), name);
    if (const Object* o = value.AsObject(); o && (o->IsCallable() || o->kind == ObjectKind::Clip)) {
      continue;
    }
    std::string pair = UrlEncode(name) + '=' + UrlEncode(ToString(value));
    if (!MayMakeString(pair.size(), form.size() + pair.size() + 1)) return;
    if (!form.empty()) form += '&';
    form += pair;
  }
  if (form.empty()) return;
  if (request.method == 1) {
    request.url += (request.url.find('?') == std::string::npos ? '?' : '&') + form;
  } else {
    request.data = std::move(form);
  }
}

uint64_t Interpreter::RequestData(UrlRequest request, Object* receiver) {
  Object* pending = PendingLoads(*this);
  if (!pending || !receiver) return 0;
  const double last = ToNumber(pending->internal.empty() ? Value(0) : pending->internal[0]);
  const auto id = static_cast<uint64_t>(last) + 1;
  pending->internal.assign(1, static_cast<double>(id));
  pending->SetOwn(std::to_string(id), receiver, true);
  request.replyId = id;
  RequestUrl(request);
  return id;
}

void Interpreter::DeliverData(uint64_t replyId, const std::optional<std::string>& bytes) {
  Object* pending = PendingLoads(*this);
  const std::string key = std::to_string(replyId);
  const Property* p = pending ? pending->FindOwn(key, true) : nullptr;
  if (!p) return;
  const Value receiver = p->value;
  pending->DeleteOwn(key, true);
  EnterHost();
  try {
    Object* o = receiver.AsObject();
    if (o && o->kind == ObjectKind::Clip) {
      // loadVariables: the variables land on the clip as strings.
      if (bytes) {
        for (const auto& [name, value] : DecodeVariables(*bytes)) SetMember(receiver, name, value);
      }
      return;
    }
    if (bytes && o) {
      const double size = static_cast<double>(bytes->size());
      o->SetOwn("_bytesLoaded", size, CaseSensitive());
      o->SetOwn("_bytesTotal", size, CaseSensitive());
    }
    const Value arg = bytes ? Value(*bytes) : Value();
    CallMethod(*this, receiver, "onData", std::span<const Value>(&arg, 1));
  } catch (const ScriptException&) {
    // An uncaught throw in onData ends that handler and nothing else.
  }
}

void InstallDataMethods(Interpreter& vm, Object* proto, bool xml) {
  AddMethod(vm, proto, "load", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    Object* o = self.AsObject();
    if (!o || a.empty()) return Value(false);
    StartLoad(vm, o, Request(vm, self, a[0], 1, false));
    return Value(true);
  });
  AddMethod(vm, proto, "send", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    if (a.empty()) return Value(false);
    Interpreter::UrlRequest r = Request(vm, self, a[0], MethodArg(vm, Arg(a, 2)), true);
    r.target = a.size() > 1 ? vm.ToString(a[1]) : std::string();
    vm.RequestUrl(r);
    return Value(true);
  });
  AddMethod(vm, proto, "sendAndLoad",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* target = Arg(a, 1).AsObject();
              if (a.empty() || !target) return Value(false);
              StartLoad(vm, target, Request(vm, self, a[0], MethodArg(vm, Arg(a, 2)), true));
              return Value(true);
            });
  for (const char* name : {"getBytesLoaded", "getBytesTotal"}) {
    const std::string field =
        std::string(name) == "getBytesLoaded" ? "_bytesLoaded" : "_bytesTotal";
    AddMethod(vm, proto, name, [field](Interpreter& vm, const Value& self, std::span<const Value>) {
      return vm.GetMember(self, field);
    });
  }
  AddMethod(vm, proto, "addRequestHeader",
            [](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              if (!o) return Value();
              Value list = vm.GetMember(self, "_customHeaders");
              if (!ThisArray(list)) {
                list = vm.NewArray();
                o->SetOwn("_customHeaders", list, vm.CaseSensitive(), kDontEnum);
              }
              Object* headers = ThisArray(list);
              if (!headers) return Value();
              if (Object* pairs = ThisArray(Arg(a, 0))) {
                for (const Value& v : ListItems(vm, pairs, kMaxArrayElements)) {
                  ArrayPush(vm, headers, v);
                }
              } else if (a.size() >= 2) {
                ArrayPush(vm, headers, a[0]);
                ArrayPush(vm, headers, a[1]);
              }
              return Value();
            });
  // What arrives goes to parseXML or decode, and then onLoad hears whether it came at all.
  AddMethod(vm, proto, "onData",
            [xml](Interpreter& vm, const Value& self, std::span<const Value> a) {
              const Value src = Arg(a, 0);
              if (src.IsUndefined()) {
                const Value no = false;
                CallMethod(vm, self, "onLoad", std::span<const Value>(&no, 1));
                return Value();
              }
              CallMethod(vm, self, xml ? "parseXML" : "decode", std::span<const Value>(&src, 1));
              vm.SetMember(self, "loaded", true);
              const Value yes = true;
              CallMethod(vm, self, "onLoad", std::span<const Value>(&yes, 1));
              return Value();
            });
  AddMethod(vm, proto, "onLoad",
            [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
}

void InstallLoadVars(Interpreter& vm) {
  Object* ctor =
      DefineClass(vm, vm.Global(), "LoadVars", [](Interpreter& vm, const Value& self, auto) {
        Claim(vm, self);
        return Value();
      });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  proto->SetOwn("contentType", "application/x-www-form-urlencoded", vm.CaseSensitive(), kDontEnum);
  AddMethod(vm, proto, "toString", [](Interpreter& vm, const Value& self, std::span<const Value>) {
    Object* o = self.AsObject();
    std::string out;
    if (!o) return Value(out);
    for (const std::string& name : vm.EnumerableNames(o)) {
      if (!out.empty()) out += '&';
      out += UrlEncode(name) + '=' + UrlEncode(vm.ToString(vm.GetMember(self, name)));
    }
    return Value(out);
  });
  AddMethod(vm, proto, "decode", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    if (!self.IsObject() || a.empty()) return Value();
    for (const auto& [name, value] : DecodeVariables(vm.ToString(a[0]))) {
      vm.SetMember(self, name, value);
    }
    return Value();
  });
  InstallDataMethods(vm, proto, false);
}

// MovieClipLoader: loadClip asks for a movie as loadMovie does and tells the loader's listeners
// how it went once the player has it (or knows it is not coming).
void InstallMovieClipLoader(Interpreter& vm) {
  const Property* p = vm.Global()->FindOwn("MovieClipLoader", vm.CaseSensitive());
  Object* proto = p && p->value.AsObject() ? PrototypeOf(vm, p->value.AsObject()) : nullptr;
  if (!proto) return;
  AddMethod(vm, proto, "loadClip", [](Interpreter& vm, const Value& self, std::span<const Value> a) {
    Object* loader = self.AsObject();
    const Value target = Arg(a, 1);
    if (a.size() < 2) return Value();
    if (!loader || !a[0].IsString() || !vm.Host()) return Value(false);
    Interpreter::UrlRequest r;
    r.url = vm.ToString(a[0]);
    r.loadTarget = true;
    Object* clip = target.AsObject();
    if (clip && clip->kind == ObjectKind::Clip) {
      if (!vm.Host()->Find(clip->clip)) return Value(false);
      r.clip = clip->clip;
    } else if (target.IsNumber()) {
      const double level = target.AsNumber();
      if (!(level >= 0 && level <= 2147483647.0)) return Value(false);
      r.level = static_cast<int32_t>(level);
    } else if (target.IsString()) {
      const std::optional<ClipRef> found = vm.ResolveClip(target.AsString());
      if (!found) return Value(false);
      r.clip = *found;
    } else {
      return Value(false);
    }
    // What hears the outcome: the loader and the target, kept until the answer comes.
    Object* waiting = vm.NewPlainObject();
    if (!waiting) return Value(false);
    waiting->internal = {self, target};
    AddMethod(vm, waiting, "onData",
              [](Interpreter& vm, const Value& self, std::span<const Value> a) {
                Object* w = self.AsObject();
                if (!w || w->internal.size() != 2) return Value();
                const Value loader = w->internal[0], target = w->internal[1];
                auto tell = [&](const char* event, std::vector<Value> args) {
                  args.insert(args.begin(), Value(event));
                  vm.Call(vm.GetMember(loader, "broadcastMessage"), loader, args);
                };
                if (Arg(a, 0).IsUndefined()) {
                  tell("onLoadError", {target, Value("URLNotFound")});
                  return Value();
                }
                const double size = vm.ToNumber(vm.GetMember(self, "_bytesLoaded"));
                tell("onLoadStart", {target});
                tell("onLoadProgress", {target, size, size});
                tell("onLoadComplete", {target, 0});
                tell("onLoadInit", {target});
                return Value();
              });
    vm.RequestData(std::move(r), waiting);
    return Value(true);
  });
}

}  // namespace swf::avm1
