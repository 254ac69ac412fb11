// Starts a program on the current X display and times it from outside, as a person
// in front of the screen would see it: a window counts as shown once the X server
// has both mapped it and received the program's first drawing into it (DAMAGE), and
// the question counts as shown once the window is maximized, painted to its far corner
// and the number's digits are in their place, read back from the server's pixels.
// Keys are typed through XTEST, so they travel the same way as a keyboard's.
//
// Usage: xprobe [options] -- PROGRAM [ARGS...]
//   --floor             only time the first window shown, then report memory
//   --number X,Y,W,H    where the number's digits appear, in window coordinates
//   --race N            after the first question, give N wrong answers ("0", Enter, Enter)
//   --mem-every K       report memory after every K answers
//   --pause MS          after each verdict, wait this long before going on (a cue
//                       ends before the next answer); each answer's Enter is printed
//                       as answer_enter_ns= on the steady clock
//   --idle SECONDS      then leave it alone and report the CPU it used, in 10 s slices
//   --snapshot PREFIX   save the first window and the main window as they were seen when
//                       found shown, as PREFIX-first.ppm and PREFIX-question.ppm
// Prints key=value lines; exits non-zero with "error=..." when a step times out.

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

Display *dpy = nullptr;
Window root = 0;
int damageEventBase = 0;
pid_t child = -1;
Atom atomPid = 0;

// Per window of the program: when it was mapped and its damage handle.
struct Tracked {
    Damage damage = 0;
    bool mapped = false;
    bool ours = false;
};
std::map<Window, Tracked> windows;

[[noreturn]] void fail(const std::string &why)
{
    std::printf("error=%s\n", why.c_str());
    std::fflush(stdout);
    if (child > 0) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
    std::exit(1);
}

long windowPid(Window w)
{
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(dpy, w, atomPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) == Success
        && data && count == 1 && format == 32)
        pid = *reinterpret_cast<long *>(data);
    if (data)
        XFree(data);
    return pid;
}

int ignoreErrors(Display *, XErrorEvent *)
{
    // Windows come and go between our requests; a vanished one is just skipped.
    return 0;
}

void track(Window w)
{
    if (windows.count(w))
        return;
    Tracked t;
    XSelectInput(dpy, w, StructureNotifyMask);
    t.damage = XDamageCreate(dpy, w, XDamageReportNonEmpty);
    windows[w] = t;
    XWindowAttributes a;
    if (XGetWindowAttributes(dpy, w, &a) && a.map_state != IsUnmapped) {
        windows[w].mapped = true;
        windows[w].ours = windowPid(w) == child;
    }
}

// One X event, or nothing when the deadline passes first.
bool nextEvent(XEvent &ev, Clock::time_point deadline)
{
    while (!XPending(dpy)) {
        const double left = msSince(Clock::now(), deadline);
        if (left <= 0)
            return false;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(dpy), &fds);
        timeval tv{long(left / 1000), long(std::fmod(left, 1000.0) * 1000)};
        select(ConnectionNumber(dpy) + 1, &fds, nullptr, nullptr, &tv);
    }
    XNextEvent(dpy, &ev);
    return true;
}

// What an event means for the program's windows; the damaged window, if any.
Window handle(const XEvent &ev)
{
    if (ev.type == CreateNotify && ev.xcreatewindow.parent == root) {
        track(ev.xcreatewindow.window);
    } else if (ev.type == MapNotify && windows.count(ev.xmap.window)) {
        Tracked &t = windows[ev.xmap.window];
        t.mapped = true;
        t.ours = windowPid(ev.xmap.window) == child;
    } else if (ev.type == UnmapNotify && windows.count(ev.xunmap.window)) {
        windows[ev.xunmap.window].mapped = false;
    } else if (ev.type == DestroyNotify && windows.count(ev.xdestroywindow.window)) {
        windows.erase(ev.xdestroywindow.window);
    } else if (ev.type == damageEventBase + XDamageNotify) {
        const auto &d = reinterpret_cast<const XDamageNotifyEvent &>(ev);
        auto it = windows.find(d.drawable);
        if (it != windows.end()) {
            XDamageSubtract(dpy, it->second.damage, None, None);
            if (it->second.mapped && it->second.ours)
                return d.drawable;
        }
    }
    return 0;
}

// A check passed on the pixels after a drawing received at `at`. If more drawing into
// `w` was queued meanwhile, the pixels may come from it: only the check's moment is sure.
Clock::time_point confirmed(Window w, Clock::time_point at)
{
    bool more = false;
    XEvent ev;
    while (XPending(dpy)) {
        XNextEvent(dpy, &ev);
        if (handle(ev) == w)
            more = true;
    }
    return more ? Clock::now() : at;
}

XImage *grab(Window w, const Rect &r)
{
    return XGetImage(dpy, w, r.x, r.y, unsigned(r.w), unsigned(r.h), AllPlanes, ZPixmap);
}

Rect whole(Window w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a))
        return {};
    return {0, 0, a.width, a.height};
}

void rgb(XImage *img, int x, int y, int &r, int &g, int &b)
{
    const unsigned long p = XGetPixel(img, x, y);
    r = int((p & img->red_mask) >> __builtin_ctzl(img->red_mask));
    g = int((p & img->green_mask) >> __builtin_ctzl(img->green_mask));
    b = int((p & img->blue_mask) >> __builtin_ctzl(img->blue_mask));
}

// Something was drawn: more than one colour in the window.
bool hasContent(Window w)
{
    XImage *img = grab(w, whole(w));
    if (!img)
        return false;
    const unsigned long first = XGetPixel(img, 0, 0);
    bool varied = false;
    for (int y = 0; y < img->height && !varied; y += 2)
        for (int x = 0; x < img->width; x += 2)
            if (XGetPixel(img, x, y) != first) {
                varied = true;
                break;
            }
    XDestroyImage(img);
    return varied;
}

// The number is blue on yellow. Its empty label's frame is blue too, but only a line:
// digits fill several columns of the place.
bool numberIn(Window w, const Rect &r)
{
    XImage *img = grab(w, r);
    if (!img)
        return false;
    int fullColumns = 0;
    for (int x = 0; x < img->width; ++x) {
        int count = 0;
        for (int y = 0; y < img->height; ++y) {
            int cr, cg, cb;
            rgb(img, x, y, cr, cg, cb);
            if (cb >= 200 && cr <= 80 && cg <= 80)
                ++count;
        }
        if (count >= 20)
            ++fullColumns;
    }
    XDestroyImage(img);
    return fullColumns >= 6;
}

bool isBlackAt(Window w, int x, int y)
{
    XImage *img = grab(w, {x, y, 1, 1});
    if (!img)
        return false;
    int r, g, b;
    rgb(img, 0, 0, r, g, b);
    XDestroyImage(img);
    return r == 0 && g == 0 && b == 0;
}

// Waits for a program window, not in `seen`, mapped and holding a drawing that
// passes `painted`; gives the window and when its passing drawing arrived.
std::pair<Window, Clock::time_point> waitShown(const std::set<Window> &seen, const std::function<bool(Window)> &painted,
                                               const char *what, double timeoutMs = 20000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(long(timeoutMs));
    XEvent ev;
    while (nextEvent(ev, deadline)) {
        const auto at = Clock::now();
        const Window w = handle(ev);
        if (w && !seen.count(w) && painted(w))
            return {w, confirmed(w, at)};
    }
    fail(std::string("timed out waiting for ") + what);
}

// Until `pred` holds, re-checked on every drawing into `w` and every 50 ms.
Clock::time_point waitUntil(Window w, const std::function<bool()> &pred, const char *what, double timeoutMs = 10000)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(long(timeoutMs));
    if (pred())
        return Clock::now();
    XEvent ev;
    for (;;) {
        const auto slice = std::min(deadline, Clock::now() + std::chrono::milliseconds(50));
        const bool got = nextEvent(ev, slice);
        const auto at = Clock::now();
        if (got && handle(ev) != w)
            continue;
        if (pred())
            return confirmed(w, at);
        if (Clock::now() >= deadline)
            fail(std::string("timed out waiting for ") + what);
    }
}

void drain()
{
    XEvent ev;
    while (XPending(dpy)) {
        XNextEvent(dpy, &ev);
        handle(ev);
    }
}

void waitFocus(Window w, const char *what)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    for (;;) {
        Window focus;
        int revert;
        XGetInputFocus(dpy, &focus, &revert);
        if (focus == w)
            return;
        if (Clock::now() >= deadline)
            fail(std::string("no keyboard focus on ") + what);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        drain();
    }
}

void settle(int ms)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    XEvent ev;
    while (nextEvent(ev, until))
        handle(ev);
}

void key(KeySym sym)
{
    const KeyCode code = XKeysymToKeycode(dpy, sym);
    if (!code)
        fail("no key for a keysym");
    XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    XTestFakeKeyEvent(dpy, code, False, CurrentTime);
    XFlush(dpy);
}

void type(const char *text)
{
    for (const char *c = text; *c; ++c)
        key(XStringToKeysym(std::string(1, *c).c_str()));
}

// The window as the check saw it, for a person to look at.
void savePpm(Window w, const std::string &path)
{
    XImage *img = grab(w, whole(w));
    if (!img)
        return;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << img->width << ' ' << img->height << "\n255\n";
    for (int y = 0; y < img->height; ++y)
        for (int x = 0; x < img->width; ++x) {
            int r, g, b;
            rgb(img, x, y, r, g, b);
            out.put(char(r)).put(char(g)).put(char(b));
        }
    XDestroyImage(img);
}

std::string procField(const char *field)
{
    std::ifstream in("/proc/" + std::to_string(child) + "/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) {
            std::istringstream s(line.substr(key.size()));
            long kb = 0;
            s >> kb;
            return std::to_string(kb);
        }
    return "0";
}

void printMemory(const std::string &prefix)
{
    std::printf("%s_rss_kb=%s\n%s_hwm_kb=%s\n", prefix.c_str(), procField("VmRSS").c_str(), prefix.c_str(),
                procField("VmHWM").c_str());
    std::fflush(stdout);
}

// utime + stime of the whole process, in seconds.
double cpuSeconds()
{
    std::ifstream in("/proc/" + std::to_string(child) + "/stat");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream s(all.substr(all.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    // After the name: state is field 3; utime and stime are fields 14 and 15.
    for (int i = 3; i <= 15 && s >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

} // namespace

int main(int argc, char *argv[])
{
    bool floorOnly = false;
    Rect number;
    bool haveNumber = false;
    int race = 0, memEvery = 0, idle = 0, pauseMs = -1;
    std::string snapshot;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--") {
            ++i;
            break;
        }
        if (a == "--floor")
            floorOnly = true;
        else if (a == "--number" && i + 1 < argc)
            haveNumber = std::sscanf(argv[++i], "%d,%d,%d,%d", &number.x, &number.y, &number.w, &number.h) == 4;
        else if (a == "--race" && i + 1 < argc)
            race = std::atoi(argv[++i]);
        else if (a == "--mem-every" && i + 1 < argc)
            memEvery = std::atoi(argv[++i]);
        else if (a == "--pause" && i + 1 < argc)
            pauseMs = std::atoi(argv[++i]);
        else if (a == "--snapshot" && i + 1 < argc)
            snapshot = argv[++i];
        else if (a == "--idle" && i + 1 < argc)
            idle = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "xprobe: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (i >= argc || (!floorOnly && !haveNumber)) {
        std::fprintf(stderr, "usage: xprobe [--floor | --number X,Y,W,H [--race N] [--idle S]] -- PROGRAM...\n");
        return 2;
    }

    dpy = XOpenDisplay(nullptr);
    if (!dpy)
        fail("cannot open the display");
    XSetErrorHandler(ignoreErrors);
    int damageError, major, minor, event, error;
    if (!XDamageQueryExtension(dpy, &damageEventBase, &damageError))
        fail("the X server has no DAMAGE");
    if (!XTestQueryExtension(dpy, &event, &error, &major, &minor))
        fail("the X server has no XTEST");
    root = DefaultRootWindow(dpy);
    atomPid = XInternAtom(dpy, "_NET_WM_PID", False);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const auto started = Clock::now();
    child = fork();
    if (child == 0) {
        execvp(argv[i], argv + i);
        _exit(127);
    }
    std::set<Window> seen;
    auto [first, shownAt] = waitShown(seen, hasContent, "the first window");
    char *title = nullptr;
    XFetchName(dpy, first, &title);
    const Rect firstSize = whole(first);
    std::printf("pid=%d\nfirst_window_ms=%.3f\nfirst_window=%dx%d %s\n", int(child), msSince(started, shownAt),
                firstSize.w, firstSize.h, title ? title : "");
    if (title)
        XFree(title);
    if (!snapshot.empty())
        savePpm(first, snapshot + "-first.ppm");
    std::fflush(stdout);

    if (floorOnly) {
        settle(1000);
        printMemory("shown");
    } else {
        // The name prompt: typed into once it has the keyboard, as a child would.
        seen.insert(first);
        waitFocus(first, "the name prompt");
        settle(200);
        type("bench");
        key(XK_Return);

        auto [greeting, greetingAt] = waitShown(seen, hasContent, "the greeting box");
        seen.insert(greeting);
        waitFocus(greeting, "the greeting box");
        settle(200);
        const auto closedAt = Clock::now();
        key(XK_Return);

        // The main window: its first drawing, then the drawing that holds the number.
        auto [main, mainAt] = waitShown(seen, [](Window) { return true; }, "the main window");
        // Maximized and painted to its far corner (never black while a question is open),
        // with the number in its place.
        const int screenWidth = DisplayWidth(dpy, DefaultScreen(dpy));
        const auto numberShown = [&, main = main] {
            const Rect r = whole(main);
            return r.w >= screenWidth && !isBlackAt(main, r.w - 10, r.h - 10) && numberIn(main, number);
        };
        const auto questionAt =
            numberShown() ? confirmed(main, mainAt) : waitUntil(main, numberShown, "the first question");
        const Rect size = whole(main);
        std::printf("main_first_paint_ms=%.3f\nfirst_question_ms=%.3f\nmain_size=%dx%d\n", msSince(closedAt, mainAt),
                    msSince(closedAt, questionAt), size.w, size.h);
        std::fflush(stdout);
        printMemory("question");
        if (!snapshot.empty())
            savePpm(main, snapshot + "-question.ppm");

        // Wrong on purpose ("0" is never the next number): the surface turns black, which
        // shows the verdict was judged; the gradient coming back shows the next question.
        const int px = size.w - 10, py = size.h - 10;
        const auto raceStart = Clock::now();
        for (int n = 1; n <= race; ++n) {
            waitFocus(main, "the main window");
            type("0");
            const auto enterAt = Clock::now();
            key(XK_Return);
            if (pauseMs >= 0) {
                std::printf("answer_enter_ns=%lld\n", static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(enterAt.time_since_epoch()).count()));
                std::fflush(stdout);
            }
            waitUntil(main, [&, main = main] { return isBlackAt(main, px, py); }, "a verdict");
            if (pauseMs > 0)
                settle(pauseMs);
            key(XK_Return);
            waitUntil(main, [&, main = main] { return !isBlackAt(main, px, py); }, "a new question");
            if (memEvery > 0 && n % memEvery == 0)
                printMemory("race" + std::to_string(n));
        }
        if (race > 0) {
            std::printf("race_answers=%d\nrace_ms=%.1f\n", race, msSince(raceStart));
            std::fflush(stdout);
        }

        if (idle > 0) {
            settle(2000);
            const double before = cpuSeconds();
            double last = before;
            const auto idleStart = Clock::now();
            for (int slice = 1; slice * 10 <= idle; ++slice) {
                settle(int(slice * 10000 - msSince(idleStart)));
                const double now = cpuSeconds();
                std::printf("idle_slice_pct=%.3f\n", 100.0 * (now - last) / 10.0);
                last = now;
            }
            const double wall = msSince(idleStart) / 1000.0;
            std::printf("idle_wall_s=%.2f\nidle_cpu_s=%.3f\nidle_pct=%.3f\n", wall, last - before,
                        100.0 * (last - before) / wall);
            std::fflush(stdout);
        }
        if (waitpid(child, nullptr, WNOHANG) != 0)
            fail("the program ended by itself");
    }

    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    XCloseDisplay(dpy);
    return 0;
}
