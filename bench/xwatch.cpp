// bench_xwatch [--keep] [--timeout S] TITLE -- COMMAND [ARGS...]
// Starts COMMAND and prints how long it took until a top-level window titled TITLE was mapped on the X server:
// "mapped_ms=<ms> pid=<pid>". Watching the server's own map events avoids polling with its coarse resolution.
// With --keep the program is left running (its pid is printed); otherwise it is ended with SIGTERM.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string windowTitle(Display* display, Window window)
{
    const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count, &after, &data)
            == Success
        && data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(display, window, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

// A kept program must not hold our output open: a caller reading it would wait for the program's end.
pid_t launch(char** command, bool detachOutput)
{
    const pid_t pid = fork();
    if (pid == 0) {
        if (detachOutput) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        execvp(command[0], command);
        std::perror("bench_xwatch: exec");
        _exit(127);
    }
    return pid;
}

// Waits for the map of a window titled title; false on timeout or when the program died first.
bool waitForMap(Display* display, const std::string& title, pid_t pid, Clock::time_point deadline)
{
    pollfd fd { ConnectionNumber(display), POLLIN, 0 };
    while (Clock::now() < deadline) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            // The title is set before the map; a window without one yet is not ours.
            if (event.type == MapNotify && windowTitle(display, event.xmap.window) == title) return true;
        }
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return false;
        ::poll(&fd, 1, 50);
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    bool keep = false;
    double timeoutS = 20;
    int i = 1;
    for (; i < argc && argv[i][0] == '-' && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
            timeoutS = std::atof(argv[++i]);
    }
    if (i + 2 >= argc || std::strcmp(argv[i + 1], "--") != 0) {
        std::fprintf(stderr, "usage: bench_xwatch [--keep] [--timeout S] TITLE -- COMMAND [ARGS...]\n");
        return 2;
    }
    const std::string title = argv[i];
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_xwatch: cannot open the display\n");
        return 1;
    }
    // Without a window manager top-level windows are children of the root: their maps show up here.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t pid = launch(argv + i + 2, keep);
    const auto deadline = start + std::chrono::milliseconds(static_cast<long>(timeoutS * 1000));
    const bool mapped = waitForMap(display, title, pid, deadline);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    XCloseDisplay(display);
    if (mapped) std::printf("mapped_ms=%.1f pid=%d\n", ms, static_cast<int>(pid));
    std::fflush(stdout);
    if (!mapped || !keep) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    return mapped ? 0 : 1;
}
