// flash.net's FileReference and FileReferenceList. A movie's browse asks the host to open its
// file dialog; what the user chooses there (or a cancel) comes back later, when the host
// answers, to the object that asked. Uploads and downloads are not made: they answer false.
#include <memory>

#include "player/avm1/library.h"
#include "player/avm1/script_error.h"

namespace swf::avm1 {
namespace {

Value NothingOpened(Interpreter&, const Value&, std::span<const Value>) { return Value(false); }
Value NoEffect(Interpreter&, const Value&, std::span<const Value>) { return Value(); }

// Both prototypes broadcast to their listeners as AsBroadcaster makes objects do.
void MakeBroadcaster(Interpreter& vm, Object* proto) {
  const Value broadcaster = vm.GetMember(vm.Global(), "AsBroadcaster");
  const Value args[] = {Value(proto)};
  vm.Call(vm.GetMember(broadcaster, "initialize"), broadcaster, args);
}

constexpr const char* kFileFields[] = {"name",         "type",   "size", "modificationDate",
                                       "creationDate", "creator"};

// The object waiting for the one dialog a player opens at a time.
struct Browsing {
  Object* asker = nullptr;
  bool multiple = false;
  Object* fileClass = nullptr;  // makes the files of a list
};

// A list of kinds to show must hold at least one, each with a description and patterns; a movie
// that gives a malformed one gets no dialog.
bool ReadFilters(Interpreter& vm, const Value& list, FileDialogRequest& out) {
  if (list.IsUndefined()) return true;
  Object* o = list.AsObject();
  if (!o) return false;
  const int count = static_cast<int>(vm.ToNumber(vm.GetMember(list, "length")));
  if (count <= 0) return false;
  for (int i = 0; i < count; ++i) {
    const Value kind = vm.GetMember(list, std::to_string(i));
    const Value description = vm.GetMember(kind, "description");
    const Value extension = vm.GetMember(kind, "extension");
    if (description.IsUndefined() || extension.IsUndefined()) return false;
    out.filters.emplace_back(vm.ToString(description), vm.ToString(extension));
    if (out.filters.back().first.empty() || out.filters.back().second.empty()) return false;
  }
  return true;
}

// What a FileReference tells of its file; the type is the name's extension with its dot.
void Describe(Interpreter& vm, Object* file, const ChosenFile& chosen) {
  const bool cs = vm.CaseSensitive();
  // Read-only to scripts, not to the player.
  auto set = [&](const char* name, Value value) {
    if (Property* p = file->FindOwn(name, cs)) {
      p->value = std::move(value);
    } else {
      file->SetOwn(name, std::move(value), cs, kReadOnly);
    }
  };
  const size_t dot = chosen.name.rfind('.');
  set("name", chosen.name);
  set("size", chosen.size);
  set("type", dot == std::string::npos ? Value() : Value(chosen.name.substr(dot)));
}

void Broadcast(Interpreter& vm, Object* to, const char* message) {
  const Value args[] = {Value(std::string(message)), Value(to)};
  try {
    vm.Call(vm.GetMember(Value(to), "broadcastMessage"), Value(to), args);
  } catch (const ScriptException&) {
    // A listener that throws ends its own handler and nothing else.
  }
}

}  // namespace

void InstallFileReference(Interpreter& vm) {
  Object* net = FlashPackage(vm, "net");
  if (!net) return;

  auto browsing = std::make_shared<Browsing>();
  vm.AddRootSource([browsing](const std::function<void(Object*)>& keep) {
    if (browsing->asker) keep(browsing->asker);
    if (browsing->fileClass) keep(browsing->fileClass);
  });
  auto browse = [browsing](bool multiple) {
    return [browsing, multiple](Interpreter& vm, const Value& self, std::span<const Value> a) {
      FileDialogRequest request;
      request.multiple = multiple;
      Object* o = self.AsObject();
      if (!o || browsing->asker || !ReadFilters(vm, Arg(a, 0), request)) return Value(false);
      if (!vm.OpenFileDialog(request)) return Value(false);
      browsing->asker = o;
      browsing->multiple = multiple;
      return Value(true);
    };
  };

  // A FileReference is an object of the player's own kind; what describes the chosen file is
  // listed by for-in but read-only to scripts.
  Object* file = DefineClass(vm, net, "FileReference",
                             [](Interpreter& vm, const Value& self, std::span<const Value>) {
                               Object* o = Unclaimed(vm, self);
                               if (!o) return Value();
                               o->kind = ObjectKind::Native;
                               const bool cs = vm.CaseSensitive();
                               for (const char* name : kFileFields)
                                 o->SetOwn(name, Value(), cs, kReadOnly);
                               o->SetOwn("postData", Value(), cs);
                               o->SetOwn("_listeners", vm.NewArray(), cs);
                               return Value();
                             });
  if (Object* proto = PrototypeOf(vm, file)) {
    MakeBroadcaster(vm, proto);
    AddMethod(vm, proto, "browse", browse(false));
    for (const char* name : {"upload", "download"}) AddMethod(vm, proto, name, NothingOpened);
    for (const char* name : {"cancel", "convertToPPT", "deleteConvertedPPT"}) {
      AddMethod(vm, proto, name, NoEffect);
    }
  }

  // A FileReferenceList stays a plain object; it has a list of files once the user chose some.
  Object* list = DefineClass(vm, net, "FileReferenceList",
                             [](Interpreter& vm, const Value& self, std::span<const Value>) {
                               Object* o = Unclaimed(vm, self);
                               if (!o) return Value();
                               o->SetOwn("_listeners", vm.NewArray(), vm.CaseSensitive());
                               return Value();
                             });
  if (Object* proto = PrototypeOf(vm, list)) {
    MakeBroadcaster(vm, proto);
    AddMethod(vm, proto, "browse", browse(true));
  }

  browsing->fileClass = file;
  vm.SetFileDialogAnswerer([browsing](Interpreter& vm, const std::vector<ChosenFile>& files) {
    Object* asker = browsing->asker;
    const bool multiple = browsing->multiple;
    browsing->asker = nullptr;
    if (!asker) return;
    if (files.empty()) {
      Broadcast(vm, asker, "onCancel");
      return;
    }
    if (!multiple) {
      Describe(vm, asker, files.front());
    } else {
      std::vector<Value> chosen;
      for (const ChosenFile& f : files) {
        const Value made = vm.Construct(Value(browsing->fileClass), {});
        if (Object* o = made.AsObject()) Describe(vm, o, f);
        chosen.push_back(made);
      }
      asker->SetOwn("fileList", vm.NewArray(std::move(chosen)), vm.CaseSensitive());
    }
    Broadcast(vm, asker, "onSelect");
  });
}

}  // namespace swf::avm1
