#pragma once
// A second local user, for tests of what another user on the machine can do to the
// program: plant files and links, read its FIFOs. Only root can make one and act as it, so
// elsewhere the tests that need one skip (CI runs as root).
#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace testsupport {

struct SecondUser {
    uid_t uid;
    gid_t gid;
};

inline constexpr const char* kSecondUserName = "morrowset-other";

// The user "morrowset-other", made with useradd the first time; nullopt when this process
// is not root or the user cannot be made (then secondUserMissing() says why).
inline std::optional<SecondUser> secondUser() {
    if (::geteuid() != 0) return std::nullopt;
    if (!::getpwnam(kSecondUserName)) {
        const std::string command =
            std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") + kSecondUserName +
            " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return std::nullopt;
    }
    const passwd* entry = ::getpwnam(kSecondUserName);
    if (!entry) return std::nullopt;
    return SecondUser{entry->pw_uid, entry->pw_gid};
}

inline std::string secondUserMissing() {
    return ::geteuid() != 0 ? "needs root to act as a second local user"
                            : std::string("useradd could not make the user ") + kSecondUserName;
}

// In a forked child: becomes `user` for good (groups, group, user). False when it cannot.
inline bool becomeUser(const SecondUser& user) {
    return ::setgroups(0, nullptr) == 0 && ::setgid(user.gid) == 0 && ::setuid(user.uid) == 0;
}

}  // namespace testsupport
