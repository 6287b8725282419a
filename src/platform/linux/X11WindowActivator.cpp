#include "platform/linux/X11WindowActivator.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <QByteArray>
#include <vector>

namespace {

struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};

// Reads a window property; returns the raw items (unsigned long for format 32, bytes for 8).
bool readProperty(Display* display, Window window, Atom property, Atom type,
                  std::vector<unsigned long>* longs, QByteArray* bytes) {
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long remaining = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 65536, False, type, &actualType,
                           &actualFormat, &count, &remaining, &data) != Success) {
        return false;
    }
    bool ok = data != nullptr && actualType == type;
    if (ok && longs && actualFormat == 32) {
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        longs->assign(items, items + count);
    } else if (ok && bytes && actualFormat == 8) {
        *bytes = QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(count));
    } else {
        ok = false;
    }
    if (data) {
        XFree(data);
    }
    return ok;
}

}  // namespace

std::unique_ptr<WindowActivator> WindowActivator::create() {
    return std::make_unique<X11WindowActivator>();
}

bool X11WindowActivator::activateWindowOf(
    qint64 pid, const std::function<bool(const QString& title)>& titleMatches) {
    std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) {
        return false;
    }
    Display* d = display.get();
    const Window root = DefaultRootWindow(d);
    const Atom clientList = XInternAtom(d, "_NET_CLIENT_LIST", True);
    const Atom activeWindow = XInternAtom(d, "_NET_ACTIVE_WINDOW", True);
    const Atom wmPid = XInternAtom(d, "_NET_WM_PID", True);
    const Atom wmName = XInternAtom(d, "_NET_WM_NAME", True);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", True);
    if (clientList == None || activeWindow == None || wmPid == None) {
        return false;  // no EWMH window manager: nobody to ask
    }

    std::vector<unsigned long> windows;
    if (!readProperty(d, root, clientList, XA_WINDOW, &windows, nullptr)) {
        return false;
    }
    for (unsigned long window : windows) {
        std::vector<unsigned long> pids;
        if (!readProperty(d, window, wmPid, XA_CARDINAL, &pids, nullptr) || pids.empty() ||
            static_cast<qint64>(pids.front()) != pid) {
            continue;
        }
        QByteArray name;
        if (wmName == None || utf8 == None ||
            !readProperty(d, window, wmName, utf8, nullptr, &name)) {
            continue;
        }
        if (!titleMatches(QString::fromUtf8(name))) {
            continue;
        }
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = activeWindow;
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2;  // source: a pager acting for the user
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
        XFlush(d);
        return true;
    }
    return false;
}
