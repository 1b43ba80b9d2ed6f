#pragma once

#include "cli/CliRun.h"

#include <sstream>
#include <string>
#include <vector>

namespace tabula::test {

// What one in-process run of tabula-cli gave.
struct TRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline TRun RunTool(const std::vector<std::string>& args, bool terminal = false) {
    std::ostringstream out;
    std::ostringstream err;
    TRun run;
    run.status = RunCli(args, TCliStreams{out, err, false, terminal, 60});
    run.out = out.str();
    run.err = err.str();
    return run;
}

} // namespace tabula::test
