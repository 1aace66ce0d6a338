// main.cpp -- corvane-sim, the stand-in host's command-line program.
#include "cli.h"

#include <iostream>

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return sim::RunCli(args, std::cout, std::cerr);
}
