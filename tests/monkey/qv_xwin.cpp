// The X side of the monkey, with Xlib: asks a window whether its program still answers, and keeps the
// keyboard focus where a window manager would keep it (there is none under Xvfb).
//
//   qv-xwin ping WINDOW [TIMEOUT-MS [ROUNDS]]
//       Sends WINDOW the _NET_WM_PING message that a window manager sends and waits for the program's
//       reply to the root window, TIMEOUT-MS (5000 by default) for each of ROUNDS pings (1 by default),
//       each sent after the answer to the one before. A program answers from its event loop, so one whose
//       main thread is stuck does not answer; a modal dialog does not stop the answer. Two rounds also
//       tell that the program has handled everything it was sent before them, and that the X server has
//       carried out what the program asked of it meanwhile (the second ping reaches the program after the
//       events that its requests made).
//   qv-xwin settle WINDOW PID [TIMEOUT-MS]
//       Two rounds of ping to WINDOW, then gives the keyboard focus to the topmost mapped window of process
//       PID (by _NET_WM_PID; menus, tool tips and other override-redirect windows left out) if it does not
//       have it, and prints that window's id, the number of popups open over WINDOW (its menus, which
//       take the keyboard and the mouse while they are open, and tool tips) and the window's title:
//       "0x... POPUPS TITLE".
//
// WINDOW in decimal or 0x hex. Exit status: 0 done, 1 no answer within the time, 2 wrong use or no
// display, 3 the window is gone, 4 the window does not take _NET_WM_PING, 5 (settle) PID has no window.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

bool badWindow = false;

int onError(Display *, XErrorEvent *error)
{
    if (error->error_code == BadWindow)
        badWindow = true;
    return 0;
}

bool takesPing(Display *display, Window window, Atom netWmPing)
{
    Atom *protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, window, &protocols, &count) == 0)
        return false;
    bool found = false;
    for (int n = 0; n < count; ++n)
        found = found || protocols[n] == netWmPing;
    XFree(protocols);
    return found;
}

int ping(Display *display, Window window, long timeoutMs, long stamp)
{
    const Window root = DefaultRootWindow(display);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom netWmPing = XInternAtom(display, "_NET_WM_PING", False);

    badWindow = false;
    const bool pingable = takesPing(display, window, netWmPing);
    XSync(display, False);
    if (badWindow) {
        std::fprintf(stderr, "qv-xwin: window 0x%lx is gone\n", window);
        return 3;
    }
    if (!pingable) {
        std::fprintf(stderr, "qv-xwin: window 0x%lx does not take _NET_WM_PING\n", window);
        return 4;
    }

    // The reply goes to the root window with the structure masks: selecting the notify ones is enough
    // to receive it (the redirect one belongs to a window manager and is left alone).
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window;
    message.xclient.message_type = protocols;
    message.xclient.format = 32;
    message.xclient.data.l[0] = static_cast<long>(netWmPing);
    message.xclient.data.l[1] = stamp;
    message.xclient.data.l[2] = static_cast<long>(window);
    XSendEvent(display, window, False, NoEventMask, &message);
    XSync(display, False);
    if (badWindow) {
        std::fprintf(stderr, "qv-xwin: window 0x%lx is gone\n", window);
        return 3;
    }

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.window == root &&
                event.xclient.message_type == protocols && event.xclient.format == 32 &&
                static_cast<Atom>(event.xclient.data.l[0]) == netWmPing && event.xclient.data.l[1] == stamp &&
                static_cast<Window>(event.xclient.data.l[2]) == window)
                return 0;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0)
            break;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, static_cast<int>(left));
    }
    std::fprintf(stderr, "qv-xwin: window 0x%lx gave no answer within %ld ms\n", window, timeoutMs);
    return 1;
}

int pingRounds(Display *display, Window window, long timeoutMs, long rounds)
{
    // A stamp of our own in each ping, so that a late reply to an earlier one is not taken for it.
    static long next =
        (static_cast<long>(std::time(nullptr)) ^ (static_cast<long>(getpid()) << 8)) & 0x3fffffff;
    int status = 0;
    for (long round = 0; round < rounds && status == 0; ++round)
        status = ping(display, window, timeoutMs, next++);
    return status;
}

bool cardinal(Display *display, Window window, Atom property, unsigned long &value)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                           &after, &data) != Success ||
        data == nullptr)
        return false;
    const bool found = type == XA_CARDINAL && format == 32 && count == 1;
    if (found)
        value = *reinterpret_cast<unsigned long *>(data);
    XFree(data);
    return found;
}

std::string title(Display *display, Window window)
{
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    std::string text;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data != nullptr) {
        if (type == utf8 && format == 8)
            text.assign(reinterpret_cast<const char *>(data), count);
        XFree(data);
    }
    // One line, whatever the title holds.
    for (char &c : text)
        if (c == '\n' || c == '\r')
            c = ' ';
    return text;
}

struct Mapped {
    Window window;
    bool overrideRedirect; // a menu, a tool tip: no window manager would manage it
};

// The root window's mapped children, bottom first (as XQueryTree lists them).
std::vector<Mapped> mappedWindows(Display *display)
{
    std::vector<Mapped> mapped;
    Window rootReturn = None;
    Window parent = None;
    Window *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, DefaultRootWindow(display), &rootReturn, &parent, &children, &count) == 0)
        return mapped;
    for (unsigned int n = 0; n < count; ++n) {
        XWindowAttributes attributes;
        badWindow = false;
        if (XGetWindowAttributes(display, children[n], &attributes) == 0 || badWindow)
            continue;
        if (attributes.map_state == IsViewable)
            mapped.push_back({children[n], attributes.override_redirect != 0});
    }
    if (children != nullptr)
        XFree(children);
    return mapped;
}

// The topmost mapped window of the process that a window manager would manage, or None.
Window topWindow(Display *display, unsigned long pid)
{
    const Atom netWmPid = XInternAtom(display, "_NET_WM_PID", False);
    const std::vector<Mapped> mapped = mappedWindows(display);
    for (auto it = mapped.rbegin(); it != mapped.rend(); ++it) {
        unsigned long owner = 0;
        if (!it->overrideRedirect && cardinal(display, it->window, netWmPid, owner) && owner == pid)
            return it->window;
    }
    return None;
}

// The open popups over WINDOW: mapped override-redirect windows that are transient for it (its menus
// above all, also its tool tips; Qt marks menus as normal windows, so their type does not tell them apart).
int openPopups(Display *display, Window window)
{
    int popups = 0;
    for (const Mapped &m : mappedWindows(display)) {
        Window owner = None;
        if (m.overrideRedirect && XGetTransientForHint(display, m.window, &owner) != 0 && owner == window)
            ++popups;
    }
    return popups;
}

int settle(Display *display, Window window, unsigned long pid, long timeoutMs)
{
    const int status = pingRounds(display, window, timeoutMs, 2);
    if (status != 0)
        return status;
    const Window top = topWindow(display, pid);
    if (top == None) {
        std::fprintf(stderr, "qv-xwin: process %lu has no window\n", pid);
        return 5;
    }
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    if (focus != top) {
        badWindow = false;
        XSetInputFocus(display, top, RevertToParent, CurrentTime);
        XSync(display, False);
        // The window went away in between: the next settle finds the next one.
    }
    std::printf("0x%lx %d %s\n", top, openPopups(display, window), title(display, top).c_str());
    return 0;
}

bool number(const char *text, unsigned long &value)
{
    char *end = nullptr;
    value = std::strtoul(text, &end, 0);
    return *text != '\0' && *end == '\0';
}

int usage()
{
    std::fprintf(stderr, "usage: qv-xwin ping WINDOW [TIMEOUT-MS [ROUNDS]]\n"
                         "       qv-xwin settle WINDOW PID [TIMEOUT-MS]\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return usage();
    const bool pinging = std::strcmp(argv[1], "ping") == 0;
    const bool settling = std::strcmp(argv[1], "settle") == 0;
    unsigned long window = 0;
    unsigned long pid = 0;
    unsigned long timeoutMs = 5000;
    unsigned long rounds = 1;
    bool good = number(argv[2], window) && window != 0;
    if (pinging) {
        good = good && argc <= 5 && (argc < 4 || number(argv[3], timeoutMs)) &&
               (argc < 5 || number(argv[4], rounds));
    } else if (settling) {
        good = good && argc >= 4 && argc <= 5 && number(argv[3], pid) &&
               (argc < 5 || number(argv[4], timeoutMs));
    } else {
        good = false;
    }
    if (!good || timeoutMs == 0 || rounds == 0)
        return usage();
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "qv-xwin: cannot open the display\n");
        return 2;
    }
    XSetErrorHandler(onError);
    const int status =
        pinging ? pingRounds(display, window, static_cast<long>(timeoutMs), static_cast<long>(rounds))
                : settle(display, window, pid, static_cast<long>(timeoutMs));
    XCloseDisplay(display);
    return status;
}
