// Starting and stopping the private test X server.
#include "tools/common/PrivateXServer.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

namespace flanger::testing {

bool PrivateXServer::installed() {
    return std::filesystem::exists(kProgram);
}

bool PrivateXServer::start(bool noReset) {
    if (server > 0) return !name.empty();
    if (!installed()) return false;
    int fds[2];
    if (pipe(fds) != 0) return false;
    char writeEnd[16];
    std::snprintf(writeEnd, sizeof writeEnd, "%d", fds[1]);
    std::vector<const char*> argv = {kProgram, "-displayfd", writeEnd,    "-screen",
                                     "0",      "640x480x24", "-nolisten", "tcp"};
    if (noReset) argv.push_back("-noreset");
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        // The server goes with this process even if a test crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        execv(kProgram, const_cast<char**>(argv.data()));
        _exit(127);
    }
    close(fds[1]);
    if (pid < 0) {
        close(fds[0]);
        return false;
    }
    server = pid;
    std::string display = ":";
    char c = 0;
    while (display.size() < 16 && read(fds[0], &c, 1) == 1 && c != '\n') display += c;
    close(fds[0]);
    if (display.size() > 1) name = display;
    return !name.empty();
}

void PrivateXServer::stop() {
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
        server = 0;
    }
    name.clear();
}

}  // namespace flanger::testing
