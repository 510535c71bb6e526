// The engine registry and the small helpers of the object model.
#include "schema/automation.h"

#include <algorithm>
#include <map>
#include <mutex>

namespace zentab {
namespace {

std::mutex gRegistryMutex;
std::map<std::string, EngineFactory>& Registry() {
  static std::map<std::string, EngineFactory> registry;
  return registry;
}

}  // namespace

Variant InvokeOn(const Variant& target, std::string_view member, std::span<const Variant> args) {
  if (!target.IsObject() || !target.AsObject()) {
    throw AutomationError("Object required: '" + std::string(member) + "'");
  }
  return target.AsObject()->Invoke(member, args);
}

Variant InvokeOn(const Variant& target, std::string_view member, const Variant& arg) {
  return InvokeOn(target, member, std::span<const Variant>(&arg, 1));
}

void RegisterEngineFactory(const std::string& progId, EngineFactory factory) {
  std::lock_guard lock(gRegistryMutex);
  if (factory) {
    Registry()[progId] = std::move(factory);
  } else {
    Registry().erase(progId);
  }
}

ObjectRef CreateAutomationObject(const std::string& progId) {
  EngineFactory factory;
  {
    std::lock_guard lock(gRegistryMutex);
    auto it = Registry().find(progId);
    if (it != Registry().end()) factory = it->second;
  }
  if (!factory) throw AutomationError("Invalid class string: no engine is registered as " + progId);
  ObjectRef object = factory();
  if (!object) throw AutomationError("Could not create " + progId);
  return object;
}

}  // namespace zentab
