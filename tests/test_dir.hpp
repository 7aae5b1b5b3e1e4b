// A fresh folder under the system's temporary folder, removed with its
// content when the test ends.
#pragma once

#include <cstdlib>
#include <stdexcept>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class test_dir {
public:
    test_dir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "rvl_test_XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot create a temporary folder");
        root = pattern;
    }
    ~test_dir()
    {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    test_dir(const test_dir&) = delete;
    test_dir& operator=(const test_dir&) = delete;

    const std::filesystem::path& path() const { return root; }
    std::string file(const std::string& name) const { return (root / name).string(); }

    static std::string read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static void write(const std::string& file, const std::string& content)
    {
        std::ofstream(file, std::ios::binary) << content;
    }

private:
    std::filesystem::path root;
};
