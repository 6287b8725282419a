#pragma once

#include <QObject>
#include <QString>

// The bare baseline: slots published on the page's channel next to the query bridge, called by
// the page through the channel's own API with nothing of the bridge in between.
class EchoObject : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

public slots:
    QString echo(const QString& text) { return text; }
    // The bridge's way of answering without the bridge: no result, the text comes back as a signal.
    void ring(const QString& text) { emit rang(text); }

signals:
    void rang(const QString& text);
};
