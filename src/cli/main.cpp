#include "cli/cli.h"

#include <clocale>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    // The first day of the week and other calendar conventions come from the user's locale.
    std::setlocale(LC_ALL, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    const kelmora::cli::CliContext context{kelmora::model::ProcessEnvironment(), kelmora::model::ExecutableFolder(),
                                           isatty(STDOUT_FILENO) == 1};
    return kelmora::cli::RunCli(args, std::cout, std::cerr, context);
}
