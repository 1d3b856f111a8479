// Permissions that must matter to root: a test that needs the engine stopped by a file's or a
// folder's mode runs it, when root, without the capabilities that override them, instead of as
// another user who might not reach the build folder.
#pragma once

#include <filesystem>
#include <string>

namespace orva::test {

// Drops CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH and CAP_FOWNER from this process's effective,
// permitted and inheritable sets, and from its bounding set when it is root (an exec as uid 0
// would get them back otherwise). For a child between fork and exec: only system calls. Returns 0,
// or the errno of the step that failed.
int drop_file_privileges() noexcept;

// Empty when a child can drop those privileges and still run `program`; otherwise why not, for
// GTEST_SKIP.
std::string file_privileges_cannot_be_dropped(const std::filesystem::path& program);

}  // namespace orva::test
