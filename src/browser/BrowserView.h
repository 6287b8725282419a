#pragma once

#include <QWebEngineView>

// The widget a browser renders into: never a context menu, and links dragged onto it are refused
// so a stray drop cannot navigate the page away.
class BrowserView : public QWebEngineView {
    Q_OBJECT
public:
    explicit BrowserView(QWidget* parent = nullptr);

    static bool acceptsDrag(Qt::DropActions possibleActions);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
};
