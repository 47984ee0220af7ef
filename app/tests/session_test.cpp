#include "app/session.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/testing/test_session.h"
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

// Each Next replaces the list and its mode together: no scan may meet the
// last run's definitions in this run's mode, or the other way round.
TEST(SessionTest, TheTypeListAndItsSignaturesAreSetTogether) {
    testing::TestSession fakes;
    Session& session = fakes.session;
    EXPECT_TRUE(session.Types().empty());
    EXPECT_EQ(session.Signatures(), SignatureMode::Standard);

    struct Step {
        std::vector<std::string_view> types;
        SignatureMode mode;
    };
    const Step steps[] = {
        {{"JPEG", "CR2"}, SignatureMode::Standard},
        {{"HEIC"}, SignatureMode::Extended},  // a type only the extended set knows
        {{}, SignatureMode::Extended},        // a refused Next leaves no list
        {{"PNG", "MOV", "WAV"}, SignatureMode::Standard},
    };
    for (const Step& step : steps) {
        TypeDefinitionList list;
        for (std::string_view type : step.types) list.push_back(LookupDefinition(type, step.mode).value());
        session.SetTypes(list, step.mode);

        ASSERT_EQ(session.Types().size(), step.types.size());
        for (std::size_t i = 0; i < step.types.size(); ++i) EXPECT_EQ(session.Types()[i].Name(), step.types[i]);
        EXPECT_EQ(session.Signatures(), step.mode);
    }
}

}  // namespace
}  // namespace zt
