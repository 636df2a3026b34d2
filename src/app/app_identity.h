#pragma once
// Morrowset's identity, handed to the runtime at start (main.cpp; tests make their runtimes
// with it too).
#include "morrowset_version.h"
#include "platform/app_identity.h"

namespace morrowset {

inline platform::AppIdentity appIdentity() {
    return {"Morrowset", "System Morrowset", "Morrowset", "morrowset.lock",
            MORROWSET_VERSION_MAJOR, MORROWSET_VERSION_MINOR, MORROWSET_VERSION_PATCH};
}

}  // namespace morrowset
