#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

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
    // A long text carried one way only: kept once, then returned by kept(), or sent and answered
    // by its length.
    void keep(const QString& text) { m_kept = text; }
    QString kept() const { return m_kept; }
    int lengthOf(const QString& text) const { return static_cast<int>(text.size()); }
    // The same text cut at its quotes, so the channel's message holds no escaped character.
    int lengthOfJoined(const QVariantList& pieces) const {
        QStringList texts;
        texts.reserve(pieces.size());
        for (const QVariant& piece : pieces) {
            texts.append(piece.toString());
        }
        return static_cast<int>(texts.join(QLatin1Char('"')).size());
    }

signals:
    void rang(const QString& text);

private:
    QString m_kept;
};
