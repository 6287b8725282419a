#include "ui/UiLog.h"

Q_LOGGING_CATEGORY(lcUi, "zelk.ui", QtInfoMsg)
