#include "browser/ErrorPage.h"

QString errorPageHtml(const QString& failedUrl, const QString& errorText, int errorCode) {
    return QStringLiteral("<html><body bgcolor=\"white\"><h2>Failed to load URL ") + failedUrl +
           QStringLiteral(" with error ") + errorText + QStringLiteral(" (") +
           QString::number(errorCode) + QStringLiteral(").</h2></body></html>");
}
