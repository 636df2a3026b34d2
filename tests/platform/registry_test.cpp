#include "platform/registry.h"

#include <sys/stat.h>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "support/scoped_services.h"

namespace {

using namespace platform;

class Registry : public ::testing::Test {
protected:
    void SetUp() override { store().clear(); }

    testsupport::ScopedServices services;
    RegistryStore& store() { return services->registry; }

    // Queries `name` of `key` with a 1024-character buffer, as the About box does.
    int32_t query(const std::string& key, const std::string& name, int32_t& type, std::string& data,
                  int32_t room = 1024) {
        int32_t handle = 0;
        const int32_t opened = regOpenKeyEx(kHKeyLocalMachine, key, 0, kKeyAllAccess, handle);
        if (opened != kRegSuccess) return opened;
        std::string buffer(1024, '\0');
        int32_t size = room;
        const int32_t result = regQueryValueEx(handle, name, type, buffer, size);
        data = buffer.substr(0, result == kRegSuccess ? static_cast<std::size_t>(size) : 0);
        EXPECT_EQ(regCloseKey(handle), kRegSuccess);
        return result;
    }
};

TEST_F(Registry, ValuesComeBackWithTypeAndExactDataNamesIgnoringCase) {
    store().setValue(kHKeyLocalMachine, "Software\\Test", "Name", kRegString, std::string("abc\0", 4));
    store().setValue(kHKeyLocalMachine, "Software\\Test", "Count", kRegNumber, std::string("\x10\0\0\0", 4));
    int32_t type = -1;
    std::string data;
    EXPECT_EQ(query("SOFTWARE\\TEST", "name", type, data), kRegSuccess);
    EXPECT_EQ(type, kRegString);
    EXPECT_EQ(data, std::string("abc\0", 4));
    EXPECT_EQ(query("software\\test", "COUNT", type, data), kRegSuccess);
    EXPECT_EQ(type, kRegNumber);
    EXPECT_EQ(data, std::string("\x10\0\0\0", 4));
}

TEST_F(Registry, MissingKeyMissingValueTooLittleRoomAndBadHandles) {
    store().setValue(kHKeyLocalMachine, "Software\\Test", "Long", kRegString, std::string(2000, 'x'));
    int32_t type = 0;
    std::string data;
    EXPECT_EQ(query("Software\\Absent", "Long", type, data), kRegNotFound);
    EXPECT_EQ(query("Software\\Test", "Absent", type, data), kRegNotFound);
    EXPECT_EQ(query("Software\\Test", "Long", type, data), kRegMoreData);
    EXPECT_EQ(query("Software\\Test", "Long", type, data, 10), kRegMoreData);
    int32_t handle = 0;
    EXPECT_EQ(regOpenKeyEx(static_cast<int32_t>(0x80000001u), "Software\\Test", 0, kKeyAllAccess, handle),
              kRegNotFound)
        << "keys belong to their root";
    EXPECT_EQ(regCloseKey(0), kRegInvalidHandle);
    std::string buffer(16, '\0');
    int32_t size = 16;
    EXPECT_EQ(regQueryValueEx(12345, "Long", type, buffer, size), kRegInvalidHandle);
}

// A PATH of scratch folders holding fake viewers.
class ViewerFolders {
public:
    ViewerFolders() : root_(std::filesystem::path(::testing::TempDir()) / "viewer-folders") {
        { std::error_code ignored; std::filesystem::remove_all(root_, ignored); }
        std::filesystem::create_directories(root_ / "first");
        std::filesystem::create_directories(root_ / "second");
    }
    ~ViewerFolders() { { std::error_code ignored; std::filesystem::remove_all(root_, ignored); } }
    std::string add(const std::string& folder, const std::string& name, bool executable = true) {
        const auto path = root_ / folder / name;
        std::ofstream(path) << "#!/bin/sh\n";
        ::chmod(path.c_str(), executable ? 0755 : 0644);
        return path.string();
    }
    std::string searchPath() const { return (root_ / "first").string() + "::" + (root_ / "second").string(); }

private:
    std::filesystem::path root_;
};

TEST_F(Registry, TheViewerFirstInPreferenceOrderIsRegistered) {
    ViewerFolders folders;
    folders.add("first", "hardinfo", false);  // not executable: passed over
    folders.add("first", "gnome-system-monitor");
    const std::string preferred = folders.add("second", "kinfocenter");
    EXPECT_EQ(findSystemInfoViewer(folders.searchPath(), kSystemInfoViewers), preferred);

    store().fillPlatformValues(folders.searchPath());
    int32_t type = 0;
    std::string data;
    ASSERT_EQ(query(kSystemInfoKey, kSystemInfoValue, type, data), kRegSuccess);
    EXPECT_EQ(type, kRegString);
    EXPECT_EQ(data, preferred + '\0');
    EXPECT_EQ(query(kSystemInfoLocationKey, kSystemInfoLocationValue, type, data), kRegNotFound);
}

TEST_F(Registry, NoViewerNoValue) {
    ViewerFolders folders;
    store().fillPlatformValues(folders.searchPath());
    int32_t type = 0;
    std::string data;
    EXPECT_EQ(query(kSystemInfoKey, kSystemInfoValue, type, data), kRegNotFound);
}

}  // namespace
