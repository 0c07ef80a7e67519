// XMLSocket: a movie's line to a server. The host is told of each connection asked for; no
// server answers a projector's socket, so each one asked for fails, and the socket's onConnect
// hears false on the next frame, as when nobody listens at the other end.
#include <cmath>
#include <memory>
#include <vector>

#include "player/avm1/library.h"

namespace swf::avm1 {

void InstallXmlSocket(Interpreter& vm) {
  Object* ctor =
      DefineClass(vm, vm.Global(), "XMLSocket",
                  [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  Object* proto = PrototypeOf(vm, ctor);
  if (!proto) return;
  // Sockets whose connection is under way, until they hear it failed.
  const NextTickList waiting = OnNextTick(vm, [](Interpreter& vm, Object* o) {
    const Value args[] = {Value(false)};
    vm.CallFromOutside(vm.GetMember(o, "onConnect"), o, args);
  });
  AddMethod(vm, proto, "connect",
            [waiting](Interpreter& vm, const Value& self, std::span<const Value> a) {
              Object* o = self.AsObject();
              if (!o) return Value(false);
              // No host, or null, is the host the movie came from: here, this machine.
              const Value host = Arg(a, 0);
              Interpreter::UrlRequest request;
              request.url = host.IsUndefined() || host.IsNull() ? "localhost" : vm.ToString(host);
              const double port = vm.ToNumber(Arg(a, 1));
              request.socketPort =
                  std::isfinite(port) && port >= 0 && port <= 65535 ? static_cast<int>(port) : 0;
              vm.RequestUrl(request);
              if (waiting->size() < 1024) waiting->push_back(o);
              return Value(true);
            });
  for (const char* name : {"send", "close"}) {
    AddMethod(vm, proto, name,
              [](Interpreter&, const Value&, std::span<const Value>) { return Value(); });
  }
}

}  // namespace swf::avm1
