#include "support/private_disk_service.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

extern char** environ;

namespace lumarest::testing {

namespace {

constexpr int kStartTimeoutMs = 15'000;

// Starts `arguments`, its stdout into a pipe whose reading end lands in `output`.
pid_t Spawn(const std::vector<std::string>& arguments, int& output) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    pid_t child = -1;
    if (::posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        child = -1;
    }
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    output = pipeEnds[0];
    return child;
}

// The first line the child writes, waiting at most the start time; empty when none comes.
std::string FirstLine(int output) {
    std::string line;
    char c = 0;
    while (line.size() < 4096) {
        pollfd ready{output, POLLIN, 0};
        if (::poll(&ready, 1, kStartTimeoutMs) <= 0 || ::read(output, &c, 1) != 1 || c == '\n') {
            break;
        }
        line.push_back(c);
    }
    ::close(output);
    return line;
}

void Stop(pid_t& child) {
    if (child > 0) {
        ::kill(child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        child = -1;
    }
}

const char* AnswerName(PrivateDiskService::Answer answer) {
    switch (answer) {
        case PrivateDiskService::Answer::Writable:
            return "writable";
        case PrivateDiskService::Answer::Refuse:
            return "refuse";
        default:
            return "grant";
    }
}

}  // namespace

PrivateDiskService::PrivateDiskService(const std::string& folder, const std::string& device,
                                       const std::string& image, Answer answer)
    : log_(folder + "/disk_service_requests.log") {
    std::filesystem::create_directories(folder);
    std::filesystem::remove(log_);
    int output = -1;
    bus_ = Spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile",
                  "--address=unix:tmpdir=/tmp", "--print-address=1"},
                 output);
    if (bus_ < 0) {
        return;
    }
    address_ = FirstLine(output);
    if (address_.empty()) {
        return;
    }
    if (answer == Answer::Absent) {
        running_ = true;
        return;
    }
    // The system interpreter: the Debian bus bindings are installed for it.
    service_ = Spawn({"/usr/bin/python3", LUMAREST_SOURCE_DIR "/tests/support/disk_service_mock.py",
                      address_, device, image, AnswerName(answer), log_},
                     output);
    running_ = service_ > 0 && FirstLine(output) == "ready";
}

PrivateDiskService::~PrivateDiskService() {
    Stop(service_);
    Stop(bus_);
}

std::vector<std::string> PrivateDiskService::RequestedModes() const {
    std::vector<std::string> modes;
    std::ifstream log(log_);
    for (std::string line; std::getline(log, line);) {
        modes.push_back(line);
    }
    return modes;
}

}  // namespace lumarest::testing
