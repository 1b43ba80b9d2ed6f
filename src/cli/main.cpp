#include "cli/CliRun.h"
#include "core/platform/InterruptStop.h"
#include "core/platform/PrivateDirectory.h"
#include "core/platform/Terminal.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    // First of all, before any thread could take the signals.
    const tabula::TInterruptStop interrupts("\ntabula-cli: interrupted again: stopped at once\n");
    tabula::AnchorTemporaryDirectory();
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const tabula::TCliStreams streams{std::cout,
                                      std::cerr,
                                      tabula::StandardOutputIsTerminal(),
                                      tabula::StandardErrorIsTerminal(),
                                      tabula::StandardErrorColumns(80),
                                      [&interrupts] { return interrupts.Signal(); }};
    return tabula::RunCli(args, streams);
}
