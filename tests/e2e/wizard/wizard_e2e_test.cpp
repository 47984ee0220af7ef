// The whole media recovery through the real desktop program, as a user does
// it: main page, source page (an image-set folder, then a raw image file),
// type page with every type, the scan to its end, the results with every
// file ticked, Save into a folder, and Save again answering the overwrite
// question with "Yes to All". The driver loaded into `pictora` presses the
// controls; what the program saves must equal, byte for byte, what
// `pictora-cli scan SOURCE --save DIR` saves from the same source, and the
// two write the same log entries (times aside). Runs offscreen: no display.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/testing/loop_device.h"
#include "platform/testing/temp_folder.h"

namespace zt::testing {
namespace {

namespace fs = std::filesystem;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// Runs a command line with stdin closed and its output in the given file.
int RunLine(const std::string& line, const std::string& output) {
    const int raw = std::system((line + " </dev/null >" + Quoted(output) + " 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Every file under folder, by its path inside it, with its bytes.
std::map<std::string, std::string> Tree(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), folder).string()] = ReadBytes(entry.path());
    }
    return files;
}

// A log's entries, one a line, with the clock and the save folder taken out,
// and the disk number too: the two programs count the attached disks at
// different moments, and anything else attaching one in between (a loop
// device of another test) changes the number without any fault of theirs.
std::vector<std::string> Entries(const std::string& path, const std::string& saveFolder) {
    static const std::regex clock(R"(\d\d:\d\d( - \w+, \w+ \d\d, \d{4}| [AP]M))");
    static const std::regex elapsed(R"(^Elapsed Time : \d+ Mins \d+ Secs$)");
    static const std::regex diskNumber(R"(^Physical Disk Number : \d+$)");
    std::vector<std::string> entries;
    std::istringstream in(ReadBytes(path));
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        line = std::regex_replace(line, clock, "<time>");
        if (std::regex_match(line, elapsed)) line = "Elapsed Time : <time>";
        if (std::regex_match(line, diskNumber)) line = "Physical Disk Number : <number>";
        if (const auto at = line.find(saveFolder); at != std::string::npos) line.replace(at, saveFolder.size(), "<save>");
        entries.push_back(line);
    }
    return entries;
}

// The folders one run of either program keeps to itself.
struct RunFolders {
    RunFolders(const TempFolder& scratch, const std::string& name)
        : settings(scratch / (name + "-settings")), state(scratch / (name + "-state")), save(scratch / (name + "-save")) {
        for (const std::string* folder : {&settings, &state, &save}) {
            fs::remove_all(*folder);
            fs::create_directories(*folder);
        }
    }
    [[nodiscard]] std::string Environment() const {
        return "ZT_REGISTRY_DIR=" + Quoted(settings) + " XDG_STATE_HOME=" + Quoted(state) + " ";
    }
    [[nodiscard]] std::string Log(const std::string& name) const { return state + "/zentrix-pictora/" + name; }

    std::string settings;
    std::string state;
    std::string save;
};

class WizardTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        scratch_ = new TempFolder();
        ASSERT_EQ(RunLine(std::string(ZT_MAKE_DEMO_IMAGE) + " " + Quoted(*scratch_ / "card.dd"), *scratch_ / "demo.txt"), 0);
        const RunFolders imaging(*scratch_, "imaging");
        fs::create_directory(*scratch_ / "set");
        ASSERT_EQ(RunLine(imaging.Environment() + ZT_PICTORA_CLI + " image " + Quoted(*scratch_ / "card.dd") + " " +
                          Quoted(*scratch_ / "set"),
                      *scratch_ / "image.txt"),
                  0);
    }
    static void TearDownTestSuite() {
        delete scratch_;
        scratch_ = nullptr;
    }

    // The job through the desktop program; the driver's steps are returned.
    static std::string RunWizard(const std::string& source, const RunFolders& folders) {
        const std::string steps = folders.state + "/steps.txt";
        const std::string line = folders.Environment() + "QT_QPA_PLATFORM=offscreen LD_PRELOAD=" +
                                 Quoted(ZT_WIZARD_DRIVER) + " ZT_WIZARD_SOURCE=" + Quoted(source) +
                                 " ZT_WIZARD_SAVE=" + Quoted(folders.save) + " ZT_WIZARD_LOG=" + Quoted(steps) + " " +
                                 ZT_PICTORA;
        const int status = RunLine(line, folders.state + "/pictora.txt");
        const std::string done = ReadBytes(steps);
        EXPECT_EQ(status, 0) << done << ReadBytes(folders.state + "/pictora.txt").substr(0, 4000);
        return done;
    }

    // source as the command line names it; wizardSource as the driver picks
    // it, when that differs.
    static void ExpectSameAsCommandLine(const std::string& source, const std::string& wizardSource = {}) {
        const RunFolders wizard(*scratch_, "wizard");
        const std::string steps = RunWizard(wizardSource.empty() ? source : wizardSource, wizard);
        for (const char* step : {"ok: type page: Next", "ok: first save: end message", "ok: second save: overwrite question",
                                 "ok: second save: end message", "ok: confirm Exit"}) {
            EXPECT_NE(steps.find(step), std::string::npos) << step << "\n" << steps;
        }

        const RunFolders cli(*scratch_, "cli");
        ASSERT_EQ(RunLine(cli.Environment() + ZT_PICTORA_CLI + " scan " + Quoted(source) + " --save " + Quoted(cli.save),
                      cli.state + "/cli.txt"),
                  0)
            << ReadBytes(cli.state + "/cli.txt");

        // The demo image holds 24 pictures and sounds of several types.
        const std::map<std::string, std::string> saved = Tree(wizard.save);
        EXPECT_EQ(saved.size(), 24u);
        EXPECT_TRUE(saved == Tree(cli.save)) << "the saved files differ";

        // The run header included: the command line chooses the source as the page does.
        const std::vector<std::string> activity = Entries(wizard.Log("Activity Log.txt"), wizard.save);
        const std::vector<std::string> cliActivity = Entries(cli.Log("Activity Log.txt"), cli.save);
        EXPECT_EQ(activity, cliActivity);
        EXPECT_NE(std::find(cliActivity.begin(), cliActivity.end(), "Analysing Completed"), cliActivity.end());

        // The wizard saved twice in one session: one header, two reports,
        // the second after "Yes to All" replaced every file.
        const std::vector<std::string> recovery = Entries(wizard.Log("Recovery Log.txt"), wizard.save);
        const std::vector<std::string> cliRecovery = Entries(cli.Log("Recovery Log.txt"), cli.save);
        const auto report = std::find(cliRecovery.begin(), cliRecovery.end(), "Saving Report :");
        ASSERT_NE(report, cliRecovery.end());
        std::vector<std::string> twice = cliRecovery;
        twice.insert(twice.end(), report, cliRecovery.end());
        EXPECT_EQ(recovery, twice);
    }

    static TempFolder* scratch_;
};

TempFolder* WizardTest::scratch_ = nullptr;

TEST_F(WizardTest, AnImageSetFolderRecoversAsTheCommandLineDoes) { ExpectSameAsCommandLine(*scratch_ / "set"); }

TEST_F(WizardTest, ARawImageFileRecoversAsTheCommandLineDoes) { ExpectSameAsCommandLine(*scratch_ / "card.dd"); }

TEST_F(WizardTest, AnAttachedDiskRecoversAsTheCommandLineDoes) {
    const std::string card = *scratch_ / "card.dd";
    AttachedLoop loop(card);
    if (!loop.Attached()) GTEST_SKIP() << "attaching a loop device needs root";
    // The page lists the loop device as a disk whose model is its backing file.
    ExpectSameAsCommandLine(loop.Device(), "disk:" + card);
}

}  // namespace
}  // namespace zt::testing
