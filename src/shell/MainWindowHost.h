#pragma once

#include <QString>

class QWidget;

// The title of the client's main window.
inline const QString kMainWindowTitle = QStringLiteral("Korvanite Gaming Keyboard 1.0");

// What the application object needs of the main window it creates and owns.
class MainWindowHost {
public:
    virtual ~MainWindowHost() = default;
    virtual QWidget* widget() = 0;
    virtual void setUpTray() = 0;
    // Writes the profile texts the page changed but that were not written yet.
    virtual void flushProfiles() = 0;
    // Clears the minimised state, activates the window and shows it.
    virtual void bringToFront() = 0;
};
