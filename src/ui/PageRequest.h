#pragma once

#include <QString>
#include <QVariantMap>
#include <optional>

// A page request parsed as a command: its "funcname" and all its members.
struct PageRequest {
    QString funcname;
    QVariantMap members;

    // Nothing when the text is not a JSON object or has no "funcname".
    static std::optional<PageRequest> parse(const QString& text);
};
