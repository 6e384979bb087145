// A part of a test played by a second process: the test program starts itself again running
// one test case, which does its part only when it finds its role in the environment (and skips
// itself in ordinary runs). Parent and child talk through files in a folder they share.
//
//     TEST(ClipboardChild, ReadText) {
//         if (!testing_support::IsChildRole("read-text")) GTEST_SKIP();
//         ... write results into ChildFolder() ...
//     }
//     Process child = StartChildTest("ClipboardChild.ReadText", "read-text", dir.path());
#pragma once

#include <string>

#include "tests/win/support/app_driver.h"

namespace testing_support {

// Starts this program running only the named test (gtest full name), with the role and the
// shared folder in its environment.
Process StartChildTest(const std::string& testName, const std::string& role,
                       const std::string& folder);

// Whether this process was started for the role.
bool IsChildRole(const char* role);

// The folder the parent shares, with a trailing backslash; empty in ordinary runs.
std::string ChildFolder();

// Waits until the file exists; false after the timeout. Messages of this thread are pumped
// meanwhile, so that windows of this process (a clipboard owner) keep answering.
bool WaitForFile(const std::string& path, DWORD milliseconds = 20000);

}  // namespace testing_support
