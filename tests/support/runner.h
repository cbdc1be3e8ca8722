// Runs the headless runner as a separate process and captures what it prints.
#pragma once
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace tov::testing {

struct trunresult {
    std::string out;  // standard output
    int status = -1;  // exit status, -1 when it did not exit normally
};

// tov-run with `options` and then the ROM path (quoted); standard error is dropped, or with
// `witherrors` mixed into `out`.
inline trunresult runtovrun(const std::string& options, const std::string& rom, bool witherrors = false) {
    std::string command = std::string("\"") + TOV_RUN + "\" " + options + " \"" + rom + "\"" +
                          (witherrors ? " 2>&1" : " 2>/dev/null");
    trunresult r;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

}  // namespace tov::testing
