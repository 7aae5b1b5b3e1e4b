// Runs the MORVANTE program as a user would (program.hpp).
#pragma once

#include "program.hpp"

#include <string>
#include <vector>

#ifndef MORVANTE_PATH
#error MORVANTE_PATH must name the built program
#endif

inline program_result run_morvante(const test_dir& dir, const std::vector<std::string>& args)
{
    return run_program(MORVANTE_PATH, dir, args);
}
