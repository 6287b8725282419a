#include "browser/BrowserLog.h"

Q_LOGGING_CATEGORY(lcBrowser, "zelk.browser", QtInfoMsg)
