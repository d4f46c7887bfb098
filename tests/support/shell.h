#pragma once
// Runs a command line the way the image tests run the independent readers: in the
// UTF-8 locale, standard error folded into the output.

#include <cstdio>
#include <memory>
#include <string>

namespace tavrin::test {

struct CommandRun {
    int status = -1;  // as pclose returns it: 0 when the command succeeded
    std::string output;
};

inline CommandRun Capture(const std::string& command) {
    CommandRun run;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(("LC_ALL=C.UTF-8 " + command + " 2>&1").c_str(), "r"),
                                                     ::pclose);
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) run.output.append(buffer, n);
    run.status = ::pclose(pipe.release());
    return run;
}

}  // namespace tavrin::test
