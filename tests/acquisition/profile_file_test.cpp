// Profile files and the catalog that reads them: what a file may say, what it may not, and
// that the package's files are the built-in profiles word for word.
#include "acquisition/profile_catalog.h"
#include "acquisition/profile_file.h"

#include "tests/settings/temp_folder.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(ProfileFile, ChangesOnlyWhatItNamesOverThe34401A) {
    const ProfileFileResult read = ParseProfileFile("# a bench meter on a socket\r\n"
                                                    "Model = Bench 5\r\n"
                                                    "\r\n"
                                                    "terminator = lf\r\n"
                                                    "REMOTE MODE =\r\n"
                                                    "read query = INIT;:FETC?\r\n"
                                                    "reply timeout ms = 2500\r\n"
                                                    "power line cycle s = 0.0166667\r\n"
                                                    "function timeout ms freq = 1200\r\n"
                                                    "function timeout ms VOLT:AC = 300\r\n"
                                                    "identifies = B5-100 , B5-200,\r\n");
    ASSERT_TRUE(read.profile) << read.problemLine << ": " << read.problem;
    const MeterProfile& p = *read.profile;
    EXPECT_EQ(p.model, "Bench 5");
    EXPECT_EQ(p.terminator, "\n");
    EXPECT_EQ(p.remoteMode, "");
    EXPECT_EQ(p.readQuery, "INIT;:FETC?");
    EXPECT_EQ(p.replyTimeoutBaseMs, 2500);
    EXPECT_DOUBLE_EQ(p.powerLineCycleSeconds, 0.0166667);
    EXPECT_EQ(p.functionTimeoutMs, (std::map<std::string, int>{{"FREQ", 1200}, {"VOLT:AC", 300}}));
    EXPECT_EQ(p.identifies, (std::vector<std::string>{"B5-100", "B5-200"}));
    // What it does not name stays the 34401A's.
    EXPECT_EQ(p.localMode, "syst:loc");
    EXPECT_EQ(p.functionQuery, "Func?");
    EXPECT_EQ(p.errorQuery, "SYST:ERR?");
    EXPECT_EQ(p.mostErrorReads, 20);
    EXPECT_EQ(p.displayOff, "DISP OFF");
}

TEST(ProfileFile, ABadLineIsSaidWithItsNumber) {
    const struct {
        const char* text;
        int line;
        const char* problem;
    } rows[] = {
        {"model = A\nspeed = 3\n", 2, "unknown key \"speed\""},
        {"model = A\n\n# fine\njust words\n", 4, "no \"=\" in \"just words\""},
        {"model = A\nterminator = CRLF\n", 2, "terminator is LF, CR LF or CR, not \"CRLF\""},
        {"model = A\nreply timeout ms = 10s\n", 2, "reply timeout ms needs a whole number"},
        {"model = A\nmost error reads = -1\n", 2, "most error reads needs a whole number"},
        {"model = A\nremote pause ms = 99999999999\n", 2, "remote pause ms needs a whole number"},
        {"model = A\npower line cycle s = 0\n", 2, "power line cycle s needs seconds"},
        {"model = A\npower line cycle s = 1/50\n", 2, "power line cycle s needs seconds"},
        {"model = A\nfunction timeout ms = 5\n", 2, "unknown key"},
        {"model = A\nfunction timeout ms FREQ = soon\n", 2, "needs a whole number"},
        {"terminator = LF\n", 0, "no model = line"},
        {"model =\n", 0, "no model = line"},
        {"model = A\nread query =\n", 0, "cannot be empty"},
    };
    for (const auto& row : rows) {
        const ProfileFileResult read = ParseProfileFile(row.text);
        EXPECT_FALSE(read.profile) << row.text;
        EXPECT_EQ(read.problemLine, row.line) << row.text;
        EXPECT_NE(read.problem.find(row.problem), std::string::npos)
            << row.text << " said: " << read.problem;
    }
}

// The files the package installs must give the very bytes the built-in profiles give.
TEST(ProfileFile, ThePackagesFilesAreTheBuiltInProfiles) {
    const struct {
        const char* file;
        const MeterProfile& builtIn;
    } rows[] = {
        {"34401a.profile", Profile34401A()},
        {"34401a-gpib.profile", Profile34401AGpib()},
        {"3446x.profile", ProfileLanMeter()},
    };
    for (const auto& row : rows) {
        const std::optional<std::string> text =
            test::ReadBytes(std::string(VELMORA_SHIPPED_PROFILES) + "/" + row.file);
        ASSERT_TRUE(text) << row.file;
        const ProfileFileResult read = ParseProfileFile(*text);
        ASSERT_TRUE(read.profile) << row.file << ":" << read.problemLine << ": " << read.problem;
        EXPECT_TRUE(*read.profile == row.builtIn) << row.file;
    }
}

TEST(ProfileCatalog, AFolderAddsAndReplacesAndABadFileIsSkippedOnce) {
    test::TempFolder folder;
    test::WriteBytes(folder / "a-slow-34401a.profile",
                     "model = 34401A CLASS\nterminator = CR LF\nreply timeout ms = 30000\n");
    test::WriteBytes(folder / "bench5.profile", "model = Bench 5\nidentifies = B5-100\n");
    test::WriteBytes(folder / "broken.profile", "model = Broken\nbaud = 9600\n");
    test::WriteBytes(folder / "notes.txt", "not a profile at all\n");
    ProfileCatalog catalog;
    catalog.addFolder(folder / "missing"); // no folder, no problem
    catalog.addFolder(folder / ".");

    std::vector<std::string> models;
    for (const MeterProfile* p : catalog.all()) {
        models.push_back(p->model);
    }
    EXPECT_EQ(models, (std::vector<std::string>{"34401A CLASS", "34401A class (GPIB)",
                                                "3446x/3447x class", "Bench 5"}));
    ASSERT_TRUE(catalog.named("34401a class"));
    EXPECT_EQ(catalog.named("34401a class")->replyTimeoutBaseMs, 30000);
    EXPECT_FALSE(catalog.named("Broken"));
    ASSERT_EQ(catalog.problems().size(), 1u);
    EXPECT_EQ(catalog.problems()[0],
              folder / "./broken.profile" + std::string(":2: unknown key \"baud\""));

    // Identities: a file's own first, then the built-in rule with the catalog's copy.
    EXPECT_EQ(catalog.forIdentity("MAKER,B5-100,1,2", false).model, "Bench 5");
    EXPECT_EQ(catalog.forIdentity("MAKER,b5-100,1,2", true).model, "Bench 5");
    EXPECT_EQ(catalog.forIdentity("MAKER,34461A,1,2", false).model, "3446x/3447x class");
    EXPECT_EQ(catalog.forIdentity("MAKER,34401A,1,2", true).model, "34401A class (GPIB)");
    EXPECT_EQ(&catalog.forIdentity("MAKER,34461A,1,2", false), catalog.named("3446x/3447x class"));
}

} // namespace
} // namespace velmora
