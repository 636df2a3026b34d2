#pragma once
// The lock that tells the first instance of the program from later ones of the same user:
// a file named by the program (its identity's lock name) in the user's private folder (the
// monitor folder, made 0700 and checked), never in a folder other users can write, where a
// planted link would make us create or touch a file of their choosing.
#include <string>

namespace platform {

enum class InstanceLock {
    First,        // the lock is ours for the rest of the run
    Another,      // another instance holds it
    Unavailable,  // no private folder or no lock file: taken as the first instance
};

InstanceLock takeInstanceLock(const std::string& lockName);

}  // namespace platform
