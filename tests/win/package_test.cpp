// The release zip as a Windows user gets it: unpacked by this test's set-up (tests/CMakeLists.txt)
// into a folder whose name has spaces and a letter beyond ASCII, every program started from
// there, and the programmer window's settings file kept beside it.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "app/settings.h"
#include "resources/resource.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/sim_unit.h"
#include "tests/win/support/vorland_app.h"
#include "vorland_version.h"

namespace {

using namespace testing_support;

// "Vorland für Windows" in Windows-1252, as the set-up names the folder.
const std::string kFolder =
    WinePath(VORLAND_BINARY_DIR "/package-test/") + "Vorland f\xFCr Windows\\";

std::string InFolder(const std::string& name) {
    return kFolder + name;
}

std::set<std::string> FolderContents() {
    std::set<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(InFolder("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.insert(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::string VersionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length)) {
        return "(none)";
    }
    return value;
}

TEST(PackageTest, TheZipHoldsTheProgramsAndAReadmeWithTheCurrentHelp) {
    std::set<std::string> contents = FolderContents();
    contents.erase("VorlandSettings.dat");  // left by the programmer window's test
    EXPECT_EQ(contents, (std::set<std::string>{"README.txt", "Vorland.exe", "VorlandGallery.exe",
                                               "vorland-cli.exe"}))
        << "unpacked into " << kFolder;

    const std::string readme = ReadFileText(InFolder("README.txt"));
    EXPECT_EQ(readme.rfind("Vorland " VORLAND_VERSION " for Windows\r\n", 0), 0u);
    for (std::size_t i = 0; i < readme.size(); ++i) {
        const bool crlf = readme[i] == '\r' && i + 1 < readme.size() && readme[i + 1] == '\n';
        ASSERT_TRUE(readme[i] != '\r' || crlf) << "a CR without LF at " << i;
        ASSERT_TRUE(readme[i] != '\n' || (i > 0 && readme[i - 1] == '\r')) << "a bare LF at " << i;
    }
    TempDir scratch;
    const ConsoleRun help = RunConsole(scratch, Quote(InFolder("vorland-cli.exe")) + " --help");
    ASSERT_EQ(help.status, 0u) << help.err;
    EXPECT_NE(readme.find(help.out), std::string::npos) << "README.txt lacks the --help text";
    EXPECT_NE(readme.find("vorland-" VORLAND_VERSION "-win32.zip holds"), std::string::npos);
}

TEST(PackageTest, EveryProgramCarriesTheVersionForItsPropertiesPage) {
    struct Case {
        const char* file;
        const char* description;
    };
    const Case cases[] = {
        {"Vorland.exe", "Vorland EPROM and flash programmer"},
        {"VorlandGallery.exe", "Vorland control gallery"},
        {"vorland-cli.exe", "Vorland command-line programmer"},
    };
    const DWORD high = MAKELONG(VORLAND_VERSION_MINOR, VORLAND_VERSION_MAJOR);
    const DWORD low = MAKELONG(0, VORLAND_VERSION_PATCH);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string path = InFolder(c.file);
        DWORD ignored = 0;
        std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
        ASSERT_FALSE(info.empty());
        ASSERT_TRUE(
            GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT length = 0;
        ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
        EXPECT_EQ(fixed->dwFileVersionMS, high);
        EXPECT_EQ(fixed->dwFileVersionLS, low);
        EXPECT_EQ(fixed->dwProductVersionMS, high);
        EXPECT_EQ(fixed->dwProductVersionLS, low);
        EXPECT_EQ(VersionString(info, "ProductName"), "Vorland");
        EXPECT_EQ(VersionString(info, "ProductVersion"), VORLAND_VERSION_QUAD);
        EXPECT_EQ(VersionString(info, "FileVersion"), VORLAND_VERSION_QUAD);
        EXPECT_EQ(VersionString(info, "FileDescription"), c.description);
        EXPECT_EQ(VersionString(info, "OriginalFilename"), c.file);
    }
}

TEST(PackageTest, TheProgrammerWindowFindsTheUnitAndKeepsItsSettingsBesideIt) {
    // The program allows one instance per Wine server: another copy would make it give up.
    HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "Vorland");
    if (other != nullptr) CloseHandle(other);
    ASSERT_EQ(other, nullptr) << "another Vorland.exe runs in this Wine server";

    SimUnit sim;
    ASSERT_TRUE(sim.Start({})) << sim.error();
    VorlandApp app(InFolder("Vorland.exe"));  // started with a working folder of its own
    DeleteFileA(app.SettingsPath().c_str());
    ASSERT_TRUE(app.Start());
    EXPECT_EQ(app.Log(), (std::vector<std::string>{"HW: Vorland v1.0.F", "Port: COM1"}));
    app.SelectChip(3);
    CheckDlgButton(app.window(), IDC_QUICK_VERIFY, BST_CHECKED);
    ASSERT_TRUE(app.Close());

    EXPECT_EQ(ReadFileBytes(app.SettingsPath()).size(), sizeof(SettingsRecord));
    EXPECT_EQ(app.ReadSettings().chipType, 3);
    EXPECT_FALSE(FileExists(app.dir().File(kSettingsFileName)));

    ASSERT_TRUE(app.Start());
    EXPECT_EQ(SendMessageA(app.Item(IDC_CHIP_LIST), LB_GETCURSEL, 0, 0), 3);
    EXPECT_EQ(IsDlgButtonChecked(app.window(), IDC_QUICK_VERIFY), BST_CHECKED);
    EXPECT_TRUE(app.Close());
}

TEST(PackageTest, TheGalleryOpensAndCloses) {
    Process gallery = Process::Start(Quote(InFolder("VorlandGallery.exe")));
    ASSERT_TRUE(gallery.running());
    HWND window = WaitForWindow(gallery.id(), "Vorland Control Gallery");
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(gallery.Wait(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST(PackageTest, TheCommandLineToolTellsItsVersionAndFindsTheUnit) {
    TempDir scratch;
    const std::string cli = Quote(InFolder("vorland-cli.exe"));
    ConsoleRun run = RunConsole(scratch, cli + " --version");
    EXPECT_EQ(run.status, 0u) << run.err;
    EXPECT_EQ(run.out, "vorland-cli " VORLAND_VERSION "\r\n");

    SimUnit sim;
    ASSERT_TRUE(sim.Start({})) << sim.error();
    run = RunConsole(scratch, cli + " detect");
    EXPECT_EQ(run.status, 0u) << run.err;
    EXPECT_EQ(run.out, "Vorland v1.0.F on COM1\r\n");
}

}  // namespace
