#include "app/session.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/testing/temp_folder.h"

namespace zt {
namespace {

// The programs' own wiring: the store named by ZT_REGISTRY_DIR, the first
// start's installation, then entries in the folder the store names, through
// the logs' context the session hands out.
TEST(SystemSessionTest, FirstStartThenTheSessionsLogsUseTheFolderTheStoreNames) {
    testing::TempFolder folder;
    ASSERT_EQ(::setenv("ZT_REGISTRY_DIR", (folder / "registry").c_str(), 1), 0);
    ASSERT_EQ(::setenv("XDG_STATE_HOME", (folder / "state").c_str(), 1), 0);
    SystemSession system;
    Session& session = system.Get();

    EXPECT_TRUE(WriteLog(session.Logs(), LogKind::Activity, "first"));
    EXPECT_TRUE(WriteLog(session.Logs(), LogKind::Recovery, "saved"));
    const std::string logFolder = folder / "state/zentrix-pictora";
    EXPECT_EQ(testing::ReadBytes(logFolder + "/Activity Log.txt"), "\r\nfirst");
    EXPECT_EQ(testing::ReadBytes(logFolder + "/Recovery Log.txt"), "\r\nsaved");
    EXPECT_FALSE(session.Settings().InstallFolder.empty());
    EXPECT_NE(testing::ReadBytes(folder / "registry/registry.ini").find("FilePath=" + session.Settings().InstallFolder),
              std::string::npos);
    ::unsetenv("ZT_REGISTRY_DIR");
    ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
}  // namespace zt
