#include "tests/win/support/child_test.h"

#include <windows.h>

namespace testing_support {

namespace {

constexpr char kRoleVariable[] = "VORLAND_CHILD_ROLE";
constexpr char kFolderVariable[] = "VORLAND_CHILD_FOLDER";

std::string Variable(const char* name) {
    char value[MAX_PATH] = {};
    if (GetEnvironmentVariableA(name, value, sizeof value) == 0) return "";
    return value;
}

}  // namespace

Process StartChildTest(const std::string& testName, const std::string& role,
                       const std::string& folder) {
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, sizeof self);
    // The child inherits the environment as it is when it starts.
    SetEnvironmentVariableA(kRoleVariable, role.c_str());
    SetEnvironmentVariableA(kFolderVariable, folder.c_str());
    std::string line = "\"";
    line.append(self).append("\" --gtest_filter=").append(testName);
    Process child = Process::Start(line);
    SetEnvironmentVariableA(kRoleVariable, nullptr);
    SetEnvironmentVariableA(kFolderVariable, nullptr);
    return child;
}

bool IsChildRole(const char* role) {
    return Variable(kRoleVariable) == role;
}

std::string ChildFolder() {
    return Variable(kFolderVariable);
}

bool WaitForFile(const std::string& path, DWORD milliseconds) {
    DWORD start = GetTickCount();
    while (!FileExists(path)) {
        if (GetTickCount() - start > milliseconds) return false;
        PumpMessages(10);
    }
    return true;
}

}  // namespace testing_support
