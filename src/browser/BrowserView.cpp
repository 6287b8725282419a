#include "browser/BrowserView.h"

#include <QDragEnterEvent>

BrowserView::BrowserView(QWidget* parent) : QWebEngineView(parent) {
    setContextMenuPolicy(Qt::NoContextMenu);
}

bool BrowserView::acceptsDrag(Qt::DropActions possibleActions) {
    return !(possibleActions & Qt::LinkAction);
}

void BrowserView::dragEnterEvent(QDragEnterEvent* event) {
    if (!acceptsDrag(event->possibleActions())) {
        event->ignore();
        return;
    }
    QWebEngineView::dragEnterEvent(event);
}
