// Where the session bus listens, read from its address as the environment gives it.
#include "app/session_bus_probe.h"

#include <gtest/gtest.h>

namespace morrowset {
namespace {

TEST(SessionBusProbe, TheFirstAddressNamesTheSocket) {
    struct Case {
        const char* addresses;
        const char* runtimeDir;
        std::optional<BusSocket> socket;
    };
    const Case cases[] = {
        {"unix:path=/run/user/1000/bus", "", BusSocket{"/run/user/1000/bus", false}},
        {"unix:abstract=/tmp/dbus-AbC,guid=0123abcd", "", BusSocket{"/tmp/dbus-AbC", true}},
        {"unix:guid=0123,path=/tmp/with%20space%2c%2C", "", BusSocket{"/tmp/with space,,", false}},
        {"unix:runtime=yes", "/run/user/7", BusSocket{"/run/user/7/bus", false}},
        {"unix:path=/first;unix:path=/second", "", BusSocket{"/first", false}},
        // A bus that cannot be greeted without waiting, or an address that is no address.
        {"unix:runtime=yes", "", std::nullopt},
        {"tcp:host=localhost,port=4000;unix:path=/second", "", std::nullopt},
        {"autolaunch:", "", std::nullopt},
        {"unix:tmpdir=/tmp", "", std::nullopt},
        {"unix:path", "", std::nullopt},
        {"unix:path=/cut%2", "", std::nullopt},
        {"unix:path=/cut%", "", std::nullopt},
        {"unix:path=/bad%zz", "", std::nullopt},
        {"", "", std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(busSocketOf(c.addresses, c.runtimeDir), c.socket) << c.addresses;
}

}  // namespace
}  // namespace morrowset
