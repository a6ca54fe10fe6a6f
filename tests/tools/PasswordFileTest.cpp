// A password file others can read is still used, with a warning on stderr that names it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "Password.h"
#include "support/ScratchDir.h"

namespace {

TEST(PasswordFile, one_others_can_read_is_named_in_a_warning) {
    const struct {
        mode_t mode;
        bool warned;
    } cases[] = {
        {0600, false}, {0400, false}, {0644, true}, {0640, true}, {0604, true},
    };
    const omblor::testing::ScratchDir folder;
    const std::string path = folder.Write("password", "s3cret\n");
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
        std::string error;
        ::testing::internal::CaptureStderr();
        const auto credentials = omblor::ctl::ReadCredentials("admin", path, error);
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_TRUE(credentials.has_value()) << error;
        EXPECT_EQ(said, c.warned ? "omblorctl: warning: " + path + " can be read by others\n" : "")
            << std::oct << c.mode;
    }
}

}  // namespace
