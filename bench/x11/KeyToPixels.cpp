// Key press to pixels: how long a window takes from a key press to the first
// change of its pixels, seen from outside the program the way a user sees it.
//
// A plain X client: it finds a top-level window by (part of) its title, gives
// it the focus, and then, N times, waits until the window has been quiet for a
// while, presses a key through XTest, waits for the X server to report the
// window's contents changed (XDamage) and releases the key. It prints the
// median, minimum and maximum in milliseconds.
//
//   key-to-pixels TITLE [--presses N] [--key KEYSYM] [--before KEYSYM[+ctrl]]... [--after KEYSYM] [--show N]
//                       [--pause MS]
//
// --before sends a key (with Ctrl when "+ctrl" follows) once before measuring,
// e.g. "End+ctrl" to measure at the end of the document. --show N prints the
// rectangles that changed within 50 ms of each of the first N presses: what
// the program repaints for a key. After each press --after (BackSpace unless
// told otherwise, "none" for nothing) is sent unmeasured, so that the line
// typed in keeps its length and the window never scrolls. --pause MS lets the
// window sit that long before each press, as a typist's first key after a
// pause finds it: the caret has blinked and timers have run.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

double NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

bool TitleHas(Display* dpy, Window w, const char* part) {
  char* name = nullptr;
  bool found = false;
  if (XFetchName(dpy, w, &name) && name) found = std::strstr(name, part) != nullptr;
  if (name) XFree(name);
  if (found) return true;
  XTextProperty prop{};
  Atom netName = XInternAtom(dpy, "_NET_WM_NAME", False);
  if (XGetTextProperty(dpy, w, &prop, netName) && prop.value) {
    found = std::strstr(reinterpret_cast<const char*>(prop.value), part) != nullptr;
    XFree(prop.value);
  }
  return found;
}

// The first mapped window under `root` whose title holds `part`.
Window FindWindow(Display* dpy, Window root, const char* part) {
  Window parent = 0, unused = 0, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(dpy, root, &unused, &parent, &children, &count)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < count && !found; ++i) {
    XWindowAttributes a{};
    if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable && TitleHas(dpy, children[i], part))
      found = children[i];
  }
  for (unsigned i = 0; i < count && !found; ++i) found = FindWindow(dpy, children[i], part);
  if (children) XFree(children);
  return found;
}

struct Watch {
  Display* dpy;
  int damageEvent;
  Damage damage;
  bool show = false;

  // Waits up to `ms` for a damage report; true when one came. Every pending
  // report is taken and the damage region is emptied so the next one is new.
  bool WaitDamage(double ms) {
    const double end = NowMs() + ms;
    for (;;) {
      bool damaged = false;
      while (XPending(dpy)) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == damageEvent + XDamageNotify) {
          damaged = true;
          if (show) {
            const auto& d = reinterpret_cast<const XDamageNotifyEvent&>(ev);
            std::printf("  %dx%d+%d+%d\n", d.area.width, d.area.height, d.area.x, d.area.y);
          }
        }
      }
      if (damaged) {
        XDamageSubtract(dpy, damage, None, None);
        XFlush(dpy);
        return true;
      }
      const double left = end - NowMs();
      if (left <= 0) return false;
      pollfd p{ConnectionNumber(dpy), POLLIN, 0};
      poll(&p, 1, std::max(1, static_cast<int>(left)));
    }
  }

  // Returns once the window reported no change for `quietMs` (at most `limitMs`).
  void WaitQuiet(double quietMs, double limitMs) {
    const double end = NowMs() + limitMs;
    while (WaitDamage(quietMs) && NowMs() < end) {
    }
  }
};

// Presses (down) or releases a key, with Ctrl around it when `ctrl`.
void SendKey(Display* dpy, KeySym sym, bool ctrl, bool down) {
  const KeyCode code = XKeysymToKeycode(dpy, sym);
  const KeyCode control = XKeysymToKeycode(dpy, XK_Control_L);
  if (ctrl && down) XTestFakeKeyEvent(dpy, control, True, CurrentTime);
  XTestFakeKeyEvent(dpy, code, down ? True : False, CurrentTime);
  if (ctrl && !down) XTestFakeKeyEvent(dpy, control, False, CurrentTime);
  XFlush(dpy);
}

void SendKey(Display* dpy, KeySym sym, bool ctrl) {
  SendKey(dpy, sym, ctrl, true);
  SendKey(dpy, sym, ctrl, false);
}

int Usage() {
  std::fprintf(stderr,
               "usage: key-to-pixels TITLE [--presses N] [--key KEYSYM] [--before KEYSYM[+ctrl]]... [--after KEYSYM] "
               "[--show N] [--pause MS]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const char* title = argv[1];
  int presses = 200;
  std::string key = "x";
  std::vector<std::string> before;
  int show = 0;
  int pause = 0;
  std::string after = "BackSpace";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return Usage();
    if (arg == "--presses")
      presses = std::atoi(argv[++i]);
    else if (arg == "--key")
      key = argv[++i];
    else if (arg == "--before")
      before.emplace_back(argv[++i]);
    else if (arg == "--show")
      show = std::atoi(argv[++i]);
    else if (arg == "--pause")
      pause = std::atoi(argv[++i]);
    else if (arg == "--after")
      after = argv[++i];
    else
      return Usage();
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "key-to-pixels: cannot open the display\n");
    return 1;
  }
  int event = 0, error = 0, major = 0, minor = 0;
  if (!XTestQueryExtension(dpy, &event, &error, &major, &minor)) {
    std::fprintf(stderr, "key-to-pixels: the X server has no XTest\n");
    return 1;
  }
  Watch watch{dpy, 0, 0};
  if (!XDamageQueryExtension(dpy, &watch.damageEvent, &error)) {
    std::fprintf(stderr, "key-to-pixels: the X server has no DAMAGE\n");
    return 1;
  }
  Window win = 0;
  for (double end = NowMs() + 20000; !win && NowMs() < end;) {
    win = FindWindow(dpy, DefaultRootWindow(dpy), title);
    if (!win) {
      timespec nap{0, 50 * 1000 * 1000};
      nanosleep(&nap, nullptr);
    }
  }
  if (!win) {
    std::fprintf(stderr, "key-to-pixels: no window titled \"%s\"\n", title);
    return 1;
  }
  XRaiseWindow(dpy, win);
  XSetInputFocus(dpy, win, RevertToParent, CurrentTime);
  watch.damage = XDamageCreate(dpy, win, show > 0 ? XDamageReportRawRectangles : XDamageReportNonEmpty);
  XFlush(dpy);
  watch.WaitQuiet(300, 5000);

  for (const std::string& b : before) {
    const bool ctrl = b.size() > 5 && b.compare(b.size() - 5, 5, "+ctrl") == 0;
    const std::string name = ctrl ? b.substr(0, b.size() - 5) : b;
    SendKey(dpy, XStringToKeysym(name.c_str()), ctrl);
    watch.WaitQuiet(300, 20000);
  }

  const KeySym sym = XStringToKeysym(key.c_str());
  const KeySym undo = after == "none" ? NoSymbol : XStringToKeysym(after.c_str());
  if (sym == NoSymbol || (after != "none" && undo == NoSymbol)) return Usage();
  std::vector<double> took;
  int missed = 0;
  for (int i = 0; i < presses; ++i) {
    if (pause > 0) {
      const double until = NowMs() + pause;
      while (NowMs() < until) watch.WaitDamage(until - NowMs());
    }
    // Quiet first: a caret blink or a status refresh must not be taken for
    // the answer to the key.
    watch.WaitQuiet(30, 2000);
    if (i < show) std::printf("press %d:\n", i + 1);
    watch.show = i < show;
    // The key goes down alone, as a typist's does: its release comes once
    // the window has answered, not in the same breath.
    const double start = NowMs();
    SendKey(dpy, sym, false, true);
    if (watch.WaitDamage(1000))
      took.push_back(NowMs() - start);
    else
      ++missed;
    SendKey(dpy, sym, false, false);
    if (watch.show) {
      std::printf(" later:\n");
      while (watch.WaitDamage(50)) {
      }
      watch.show = false;
    }
    if (undo != NoSymbol) {
      watch.WaitQuiet(30, 2000);
      SendKey(dpy, undo, false);
      watch.WaitDamage(1000);
    }
  }
  if (took.empty()) {
    std::fprintf(stderr, "key-to-pixels: the window never changed\n");
    return 1;
  }
  std::sort(took.begin(), took.end());
  std::printf("presses=%zu median_ms=%.3f min_ms=%.3f max_ms=%.3f p90_ms=%.3f missed=%d\n", took.size(),
              took[took.size() / 2], took.front(), took.back(), took[took.size() * 9 / 10], missed);
  XDamageDestroy(dpy, watch.damage);
  XCloseDisplay(dpy);
  return 0;
}
