#pragma once
// Morrowset's identity, handed to the runtime at start (main.cpp; tests make their runtimes
// with it too).
#include "morrowset_version.h"
#include "platform/app_identity.h"

namespace morrowset {

inline platform::AppIdentity appIdentity() {
    return {.projectName = "Morrowset",
            .title = "System Morrowset",
            .configFolderName = "Morrowset",
            .systemName = "morrowset",
            .journalFieldPrefix = "MORROWSET_",
            .summary = "Start up to six programs each at a set time of day",
            .major = MORROWSET_VERSION_MAJOR,
            .minor = MORROWSET_VERSION_MINOR,
            .revision = MORROWSET_VERSION_PATCH};
}

}  // namespace morrowset
