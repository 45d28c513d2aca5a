// A private X server for tests: Xvfb chooses a free display itself and reports it on a pipe, so
// parallel test processes never race for one, and it dies with the test process.
#pragma once

#include <sys/types.h>

#include <string>

namespace flanger::testing {

class PrivateXServer {
public:
    static constexpr const char* kProgram = "/usr/bin/Xvfb";
    static bool installed();

    PrivateXServer() = default;
    ~PrivateXServer() { stop(); }
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // True once the server runs; its display name is then e.g. ":3". noReset keeps the server
    // from resetting when its last client leaves.
    bool start(bool noReset = false);
    void stop();
    const std::string& displayName() const { return name; }

private:
    pid_t server = 0;
    std::string name;
};

}  // namespace flanger::testing
