// The main of the wizard's tests: Qt without a display (the offscreen
// platform) and a runtime folder of the test's own, then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string runtime = (std::filesystem::temp_directory_path() / "rvl_xdg_XXXXXX").string();
    if (::mkdtemp(runtime.data()) != nullptr)
        ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    testing::InitGoogleTest(&argc, argv);
    // Death tests start the program again rather than fork a process with Qt's threads.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    int code = 0;
    {
        QApplication application(argc, argv);
        code = RUN_ALL_TESTS();
    }
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    return code;
}
