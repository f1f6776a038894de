// The top-level window titled "Access Bridge status" that the accessibility
// native looks for, owned by the host's thread so that a WM_QUIT posted to it
// lands in the host's own message queue. Windows only.
#ifndef ORV_TESTS_JNIHOST_HOSTWINDOW_H
#define ORV_TESTS_JNIHOST_HOSTWINDOW_H

class HostWindow {
public:
    HostWindow(); // throws std::runtime_error when no window can be made
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    // Takes every queued message; true when one of them was WM_QUIT.
    bool quitReceived();

private:
    void* handle_ = nullptr;
};

#endif
