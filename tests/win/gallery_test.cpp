// VorlandGallery.exe starts, hosts one of each control of the library, and closes cleanly.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "tests/win/support/app_driver.h"

namespace {

using testing_support::Process;
using testing_support::SaveScreenshot;
using testing_support::WaitForWindow;

constexpr char kGalleryPath[] = VORLAND_BINARY_DIR "/gallery/VorlandGallery.exe";

BOOL CALLBACK CountClass(HWND child, LPARAM counts) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    ++(*reinterpret_cast<std::map<std::string, int>*>(counts))[name];
    return TRUE;
}

TEST(GalleryTest, ShowsEveryControlClassAndClosesCleanly) {
    Process gallery = Process::Start(std::string("\"") + kGalleryPath + "\"");
    ASSERT_TRUE(gallery.running()) << kGalleryPath;
    HWND window = WaitForWindow(gallery.id(), "Vorland Control Gallery");
    ASSERT_NE(window, nullptr);

    std::map<std::string, int> counts;
    EnumChildWindows(window, CountClass, reinterpret_cast<LPARAM>(&counts));
    EXPECT_EQ(counts["2DCHART"], 1);
    EXPECT_EQ(counts["3DCHART"], 1);
    EXPECT_EQ(counts["KVSCOPE"], 1);
    EXPECT_EQ(counts["KVDIGITALGAUGEREADOUT"], 1);
    EXPECT_EQ(counts["KVTEXTPROGRESS"], 2);
    // Six pane captions, and the grid control or the note that stands in for it while its
    // class is not registered.
    EXPECT_EQ(counts["KVGRIDCONTROL"] + counts["Static"], 7);

    // For the pictures in docs/, the scope and the progress bars first run a while.
    if (std::getenv("VORLAND_SCREENSHOT_DIR") != nullptr) Sleep(4000);
    SaveScreenshot("gallery", window);
    SaveScreenshot("grid", FindWindowExA(window, nullptr, "KVGRIDCONTROL", nullptr));

    PostMessageA(window, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(gallery.Wait(10000, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

}  // namespace
