#include "platform/services.h"

#include <utility>

namespace platform {
namespace {

constinit ServicesLookup lookup = nullptr;

// Never destroyed: code running while the program ends may still ask for a service.
Services& processServices() {
    static Services* const own = new Services;
    return *own;
}

}  // namespace

journal::Journal& Services::journal() {
    if (!journal_) journal_ = std::make_unique<journal::Journal>(identity, journalSocket);
    return *journal_;
}

Services& services() { return lookup ? lookup() : processServices(); }

ServicesLookup findServicesWith(ServicesLookup given) { return std::exchange(lookup, given); }

}  // namespace platform
