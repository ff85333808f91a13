#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lumarest::testing {

// A private message bus with a stand-in for the system's disk service on it, run for one test.
// The service serves one block device, `device`, and hands over `image` for it.
class PrivateDiskService {
  public:
    enum class Answer {
        ReadOnly,  // the image opened read-only
        Writable,  // the image opened for reading and writing
        Refuse,    // not authorised
        Absent,    // the bus runs, but no disk service is on it
    };

    PrivateDiskService(const std::string& folder, const std::string& device,
                       const std::string& image, Answer answer);
    ~PrivateDiskService();
    PrivateDiskService(const PrivateDiskService&) = delete;
    PrivateDiskService& operator=(const PrivateDiskService&) = delete;

    // False when the bus or the service could not be started: the test skips.
    bool Running() const { return running_; }
    const std::string& Address() const { return address_; }
    // The mode argument of every OpenDevice call, in order.
    std::vector<std::string> RequestedModes() const;

  private:
    bool running_ = false;
    std::string address_;
    std::string log_;
    pid_t bus_ = -1;
    pid_t service_ = -1;
};

}  // namespace lumarest::testing
