#pragma once
// Holds a process at the moment it makes a file: its open() of the first new file in a folder
// whose name starts as given waits until the test lets it go, so that what the test does
// meanwhile (a signal, say) comes at that very point of the process's work, however busy the
// machine is. Every other open in the folder passes at once. Needs the privilege to watch
// file opens (root).
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace e2e {

class OpenHold {
public:
    OpenHold(const std::string& folder, const std::string& namePrefix);
    ~OpenHold(); // lets the held open go, if it still waits
    OpenHold(const OpenHold&) = delete;
    OpenHold& operator=(const OpenHold&) = delete;

    bool Watching() const { return group_ >= 0; }
    // True once an open is held; false when none came within `timeout`.
    bool WaitHeld(std::chrono::milliseconds timeout);
    // The held open goes on.
    void Release();

private:
    void Allow(int fd);
    void Watch();

    std::string prefix_;
    int group_ = -1;
    int held_ = -1; // the held open's descriptor; -2 once let go
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread watcher_;
};

} // namespace e2e
