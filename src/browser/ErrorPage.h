#pragma once

#include <QString>

// The page shown in place of one that failed to load.
QString errorPageHtml(const QString& failedUrl, const QString& errorText, int errorCode);
