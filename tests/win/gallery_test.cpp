// VorlandGallery.exe starts, hosts one of each control of the library, and closes cleanly.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr char kGalleryPath[] = VORLAND_BINARY_DIR "/gallery/VorlandGallery.exe";

BOOL CALLBACK CountClass(HWND child, LPARAM counts) {
    char name[64] = {};
    GetClassNameA(child, name, sizeof name);
    ++(*reinterpret_cast<std::map<std::string, int>*>(counts))[name];
    return TRUE;
}

TEST(GalleryTest, ShowsEveryControlClassAndClosesCleanly) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string commandLine = std::string("\"") + kGalleryPath + "\"";
    ASSERT_TRUE(CreateProcessA(kGalleryPath, commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process))
        << kGalleryPath;
    WaitForInputIdle(process.hProcess, 10000);
    HWND gallery = nullptr;
    for (int i = 0; i < 100 && gallery == nullptr; ++i) {
        gallery = FindWindowA("VorlandGallery", "Vorland Control Gallery");
        if (gallery == nullptr) Sleep(100);
    }
    ASSERT_NE(gallery, nullptr);

    std::map<std::string, int> counts;
    EnumChildWindows(gallery, CountClass, reinterpret_cast<LPARAM>(&counts));
    EXPECT_EQ(counts["2DCHART"], 1);
    EXPECT_EQ(counts["3DCHART"], 1);
    EXPECT_EQ(counts["KVSCOPE"], 1);
    EXPECT_EQ(counts["KVDIGITALGAUGEREADOUT"], 1);
    EXPECT_EQ(counts["KVTEXTPROGRESS"], 2);
    // Six pane captions, and the grid control or the note that stands in for it while its
    // class is not registered.
    EXPECT_EQ(counts["KVGRIDCONTROL"] + counts["Static"], 7);

    PostMessageA(gallery, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

}  // namespace
