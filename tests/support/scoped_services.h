#pragma once
// A fresh set of platform services for one platform test, in use for the object's
// lifetime; the set in use before comes back afterwards. (Tests of the runtime and above
// make a whole runtime instead: scoped_runtime.h.)
#include "app/app_identity.h"
#include "platform/process_state.h"
#include "platform/services.h"

namespace testsupport {

class ScopedServices {
public:
    ScopedServices() : previous_(platform::useServices(&services_)) {
        services_.identity = morrowset::appIdentity();
        platform::forgetIgnoredProfiles();
    }
    ~ScopedServices() { platform::useServices(previous_); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

    platform::Services& operator*() { return services_; }
    platform::Services* operator->() { return &services_; }

private:
    platform::Services services_;
    platform::Services* previous_;
};

}  // namespace testsupport
