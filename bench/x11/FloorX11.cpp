// The floor under key-to-pixels: a bare X client that answers each key press
// by putting one 8x16 cell of pixels into its window, as an editor puts a
// glyph. No toolkit, no event thread, no text: what is left of its time is the
// X server's and the kernel's, the least any program can take on the machine.
//
//   floor-x11    (window title "X11 floor window")

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main() {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "floor-x11: cannot open the display\n");
    return 1;
  }
  const int screen = DefaultScreen(dpy);
  Visual* visual = DefaultVisual(dpy, screen);
  const int depth = DefaultDepth(dpy, screen);
  const Window win = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 0, 0, 1200, 800, 0, BlackPixel(dpy, screen),
                                         WhitePixel(dpy, screen));
  XStoreName(dpy, win, "X11 floor window");
  XSelectInput(dpy, win, KeyPressMask | ExposureMask);
  XMapWindow(dpy, win);
  const GC gc = XCreateGC(dpy, win, 0, nullptr);

  constexpr int kWidth = 8, kHeight = 16;
  auto* pixels = static_cast<char*>(std::calloc(kWidth * kHeight, 4));
  XImage* cell = XCreateImage(dpy, visual, depth, ZPixmap, 0, pixels, kWidth, kHeight, 32, 0);
  if (!cell) return 1;
  bool dark = false;
  for (;;) {
    XEvent ev;
    XNextEvent(dpy, &ev);
    if (ev.type != KeyPress) continue;
    dark = !dark;
    std::memset(pixels, dark ? 0x00 : 0xff, kWidth * kHeight * 4);
    XPutImage(dpy, win, gc, cell, 0, 0, 8, 8, kWidth, kHeight);
    XFlush(dpy);
  }
}
