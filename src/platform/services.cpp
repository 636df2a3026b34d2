#include "platform/services.h"

namespace platform {
namespace {

constinit Services* inUse = nullptr;

// Never destroyed: code running while the program ends may still ask for a service.
Services& processServices() {
    static Services* const own = new Services;
    return *own;
}

}  // namespace

Services& services() { return inUse ? *inUse : processServices(); }

Services* useServices(Services* set) {
    Services* const before = inUse;
    inUse = set;
    return before;
}

}  // namespace platform
