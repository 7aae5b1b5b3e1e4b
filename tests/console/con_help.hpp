// Runs the MORVANTE program as a user would (program.hpp).
#pragma once

#include "program.hpp"

#include <filesystem>
#include <string>
#include <vector>

#ifndef MORVANTE_PATH
#error MORVANTE_PATH must name the built program
#endif

inline program_result run_morvante(const test_dir& dir, const std::vector<std::string>& args)
{
    return run_program(MORVANTE_PATH, dir, args);
}

// The names of the folder's files that end in ".part": the dump's work files.
inline std::vector<std::string> work_files(const test_dir& dir)
{
    std::vector<std::string> found;
    for (const std::filesystem::directory_entry& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().ends_with(".part"))
            found.push_back(e.path().filename().string());
    return found;
}
