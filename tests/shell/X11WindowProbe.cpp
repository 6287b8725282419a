#include "X11WindowProbe.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QStringList>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// A window can vanish between the event that names it and the question about it; Xlib's own
// handler would end the test program.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

struct X11WindowProbe::Connection {
    Display* display = nullptr;
    Window root = 0;
    Atom wmPid = None;
    Atom wmName = None;
    Atom utf8 = None;
    std::unique_ptr<QSocketNotifier> notifier;
    bool recording = false;
    QList<TopLevelWindow> mapped;

    TopLevelWindow describe(Window window) {
        TopLevelWindow result;
        result.id = window;
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(display, window, &attributes)) {
            return result;  // already destroyed
        }
        result.viewable = attributes.map_state == IsViewable;

        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long remaining = 0;
        unsigned char* data = nullptr;
        if (XGetWindowProperty(display, window, wmPid, 0, 1, False, XA_CARDINAL, &type, &format,
                               &count, &remaining, &data) == Success &&
            data && format == 32 && count == 1) {
            result.pid = static_cast<qint64>(*reinterpret_cast<unsigned long*>(data));
        }
        if (data) {
            XFree(data);
            data = nullptr;
        }
        if (XGetWindowProperty(display, window, wmName, 0, 1024, False, utf8, &type, &format,
                               &count, &remaining, &data) == Success &&
            data && format == 8) {
            result.title =
                QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<int>(count));
        }
        if (data) {
            XFree(data);
        }
        return result;
    }

    // Reads every event the server has queued for this connection.
    void drainEvents() {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (recording && event.type == MapNotify && event.xmap.event == root) {
                mapped.append(describe(event.xmap.window));
            }
        }
    }
};

X11WindowProbe::X11WindowProbe() : m_connection(std::make_unique<Connection>()) {
    Connection& c = *m_connection;
    c.display = XOpenDisplay(nullptr);
    if (!c.display) {
        return;
    }
    XSetErrorHandler(ignoreXErrors);
    c.root = DefaultRootWindow(c.display);
    c.wmPid = XInternAtom(c.display, "_NET_WM_PID", False);
    c.wmName = XInternAtom(c.display, "_NET_WM_NAME", False);
    c.utf8 = XInternAtom(c.display, "UTF8_STRING", False);
    // Windows are described as soon as their map is reported, while they still exist.
    c.notifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(c.display), QSocketNotifier::Read);
    QObject::connect(c.notifier.get(), &QSocketNotifier::activated, c.notifier.get(),
                     [&c] { c.drainEvents(); });
}

X11WindowProbe::~X11WindowProbe() {
    m_connection->notifier.reset();
    if (m_connection->display) {
        XCloseDisplay(m_connection->display);
    }
}

bool X11WindowProbe::isOpen() const {
    return m_connection->display != nullptr;
}

QList<TopLevelWindow> X11WindowProbe::visibleWindowsOf(qint64 pid) {
    QList<TopLevelWindow> result;
    Connection& c = *m_connection;
    if (!c.display) {
        return result;
    }
    Window rootReturn = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(c.display, c.root, &rootReturn, &parent, &children, &count)) {
        return result;
    }
    for (unsigned int i = 0; i < count; ++i) {
        const TopLevelWindow window = c.describe(children[i]);
        if (window.viewable && window.pid == pid) {
            result.append(window);
        }
    }
    if (children) {
        XFree(children);
    }
    c.drainEvents();
    return result;
}

bool X11WindowProbe::requestClose(unsigned long window) {
    Connection& c = *m_connection;
    if (!c.display) {
        return false;
    }
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(c.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(c.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(c.display, window, False, NoEventMask, &event);
    XSync(c.display, False);
    return sent != 0;
}

void X11WindowProbe::startRecordingMaps() {
    Connection& c = *m_connection;
    if (!c.display) {
        return;
    }
    XSelectInput(c.display, c.root, SubstructureNotifyMask);
    XSync(c.display, False);
    c.drainEvents();
    c.mapped.clear();
    c.recording = true;
}

QList<TopLevelWindow> X11WindowProbe::mappedWindows() {
    Connection& c = *m_connection;
    if (!c.display) {
        return {};
    }
    XSync(c.display, False);
    c.drainEvents();
    return c.mapped;
}

void X11WindowProbe::stopRecordingMaps() {
    Connection& c = *m_connection;
    if (!c.display) {
        return;
    }
    c.recording = false;
    XSelectInput(c.display, c.root, NoEventMask);
    XSync(c.display, False);
    c.drainEvents();
    c.mapped.clear();
}

QString describeWindows(const QList<TopLevelWindow>& windows) {
    QStringList lines;
    for (const TopLevelWindow& window : windows) {
        lines.append(QStringLiteral("0x%1 pid %2 '%3'%4")
                         .arg(window.id, 0, 16)
                         .arg(window.pid)
                         .arg(window.title)
                         .arg(window.viewable ? QStringLiteral(" viewable") : QString()));
    }
    return lines.isEmpty() ? QStringLiteral("(none)") : lines.join(QLatin1Char('\n'));
}
