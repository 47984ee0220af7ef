#include "platform/files.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/temp_folder.h"

namespace zt::platform {
namespace {

TEST(RunProgramAndWait, WaitsForTheProgramAndPassesItsArguments) {
    testing::TempFolder scratch;
    std::string script = scratch / "tool";
    std::string out = scratch / "out";
    // Writes its arguments (the empty one included) one per line, after a pause.
    testing::WriteBytes(script, "#!/bin/sh\nsleep 0.2\nfor a in \"$@\"; do echo \"[$a]\"; done > '" + out +
                                              "'\nexit 3\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);

    ProcessOutcome outcome = RunProgramAndWait(script, {"", "two words"});
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitStatus, 3);
    EXPECT_EQ(testing::ReadBytes(out), "[]\n[two words]\n");  // present: the program had ended
}

TEST(RunProgramAndWait, MissingProgramIsNotStarted) {
    ProcessOutcome outcome = RunProgramAndWait("/nonexistent/devquery", {""});
    EXPECT_FALSE(outcome.started);
}

}  // namespace
}  // namespace zt::platform
