#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>
#include <memory>

// A top-level window of the X display, as other processes see it.
struct TopLevelWindow {
    unsigned long id = 0;
    // _NET_WM_PID, or -1 when the window has none or was already gone when asked.
    qint64 pid = -1;
    QString title;
    bool viewable = false;
};

// Looks at the top-level windows of the display in $DISPLAY through a connection of its own,
// and records every top-level window that gets mapped while recording runs. Without a window
// manager (Xvfb) the programs' windows are the children of the root window.
class X11WindowProbe {
public:
    X11WindowProbe();
    ~X11WindowProbe();
    X11WindowProbe(const X11WindowProbe&) = delete;
    X11WindowProbe& operator=(const X11WindowProbe&) = delete;

    bool isOpen() const;

    // The viewable top-level windows whose _NET_WM_PID is pid.
    QList<TopLevelWindow> visibleWindowsOf(qint64 pid);

    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    bool requestClose(unsigned long window);

    // Forgets what was recorded and records every top-level window mapped from now on.
    void startRecordingMaps();
    // Every window mapped since startRecordingMaps, including those mapped just before this
    // call (the server is asked for everything it has sent so far).
    QList<TopLevelWindow> mappedWindows();
    void stopRecordingMaps();

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};

// "0x400001 pid 123 'title' viewable" lines for failure messages.
QString describeWindows(const QList<TopLevelWindow>& windows);
