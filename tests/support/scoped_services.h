#pragma once
// A fresh set of platform services for one platform test, in use for the object's
// lifetime; the way the set in use was found before comes back afterwards. (Tests of the
// runtime and above make a whole runtime instead: scoped_runtime.h.)
#include <utility>

#include "app/app_identity.h"
#include "platform/process_state.h"
#include "platform/services.h"

namespace testsupport {

class ScopedServices {
public:
    ScopedServices() : outer_(std::exchange(inUse(), &services_)), previousLookup_(platform::findServicesWith(lookup)) {
        services_.identity = morrowset::appIdentity();
        platform::forgetIgnoredProfiles();
    }
    ~ScopedServices() {
        platform::findServicesWith(previousLookup_);
        inUse() = outer_;
    }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

    platform::Services& operator*() { return services_; }
    platform::Services* operator->() { return &services_; }

private:
    static platform::Services*& inUse() {
        static platform::Services* set = nullptr;
        return set;
    }
    static platform::Services& lookup() { return *inUse(); }

    platform::Services services_;
    platform::Services* outer_;
    platform::ServicesLookup previousLookup_;
};

}  // namespace testsupport
