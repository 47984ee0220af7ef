#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/testing/fake_block_tree.h"

namespace zt::platform {
namespace {

TEST(RunProgramAndWait, WaitsForTheProgramAndPassesItsArguments) {
    testing::FakeBlockTree scratch;
    std::string script = scratch.Root() + "/tool";
    std::string out = scratch.Root() + "/out";
    // Writes its arguments (the empty one included) one per line, after a pause.
    testing::FakeBlockTree::Write(script, "#!/bin/sh\nsleep 0.2\nfor a in \"$@\"; do echo \"[$a]\"; done > '" + out +
                                              "'\nexit 3\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    EXPECT_TRUE(IsExecutableFile(script));

    ProcessOutcome outcome = RunProgramAndWait(script, {"", "two words"});
    EXPECT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitStatus, 3);
    std::ifstream in(out);
    std::string all{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(all, "[]\n[two words]\n");  // present: the program had ended
}

TEST(RunProgramAndWait, MissingProgramIsNotStarted) {
    EXPECT_FALSE(IsExecutableFile("/nonexistent/devquery"));
    EXPECT_FALSE(IsExecutableFile("/"));
    ProcessOutcome outcome = RunProgramAndWait("/nonexistent/devquery", {""});
    EXPECT_FALSE(outcome.started);
}

}  // namespace
}  // namespace zt::platform
