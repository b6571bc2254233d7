#include "cli/cli.h"

#include <clocale>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv)
{
    // The first day of the week comes from the user's locale, and the system's error texts are in the user's
    // language. Only those parts are loaded: a status bar starts this program every second, and loading every
    // part of a locale took as long as the rest of an answer on an empty folder. Nothing here formats numbers,
    // money or sorts by the locale.
    std::setlocale(LC_CTYPE, "");
    std::setlocale(LC_TIME, "");
    std::setlocale(LC_MESSAGES, "");
    std::vector<std::string> args(argv + 1, argv + argc);
    const kelmora::cli::CliContext context{kelmora::model::ProcessEnvironment(), kelmora::model::ExecutableFolder(),
                                           isatty(STDOUT_FILENO) == 1};
    return kelmora::cli::RunCli(args, std::cout, std::cerr, context);
}
