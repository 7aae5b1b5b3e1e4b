#include "platform/files/pl_files.hpp"
#include "platform/syserr/pl_syserr.hpp"

#include <gtest/gtest.h>

#include <thread>

using namespace platform;

TEST(SysErr, SystemTextEndsWithALineEnd)
{
    std::string text;
    ASSERT_TRUE(system_message(error_file_not_found, text));
    EXPECT_EQ(text, "No such file or directory\r\n");
    EXPECT_FALSE(system_message(99999, text));
}

TEST(SysErr, LastErrorBelongsToItsThread)
{
    set_last_error(5);
    uint32_t other = 1;
    std::thread([&] { other = last_error(); }).join();
    EXPECT_EQ(other, 0u);
    EXPECT_EQ(last_error(), 5u);
}

TEST(Files, ModuleFileNameIsThisProgram)
{
    EXPECT_TRUE(module_file_name().ends_with("/test_platform_text"));
}
