#include "browser/WindowPlacement.h"

#include <QWidget>

namespace WindowPlacement {

namespace {

void setOuterGeometry(QWidget* window, int left, int top, int width, int height) {
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    const int extraWidth = frame.width() - inner.width();
    const int extraHeight = frame.height() - inner.height();
    window->move(left, top);
    window->resize(qMax(1, width - extraWidth), qMax(1, height - extraHeight));
}

}  // namespace

void move(QWidget* window, const MoveCommand& command) {
    if (!window) {
        return;
    }
    window = window->window();
    const QRect frame = window->frameGeometry();
    if (window->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)) {
        window->setWindowState(window->windowState() &
                               ~(Qt::WindowMinimized | Qt::WindowMaximized));
        setOuterGeometry(window, frame.left(), frame.top(), command.width, command.height);
        window->show();
        return;
    }
    setOuterGeometry(window, frame.left() + command.dx, frame.top() + command.dy, command.width,
                     command.height);
}

void toggleMinimised(QWidget* window) {
    if (!window) {
        return;
    }
    window = window->window();
    if (window->windowState() & Qt::WindowMinimized) {
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
        window->show();
        return;
    }
    window->setAttribute(Qt::WA_ShowWithoutActivating, true);
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    window->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

}  // namespace WindowPlacement
