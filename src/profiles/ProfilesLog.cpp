#include "profiles/ProfilesLog.h"

Q_LOGGING_CATEGORY(lcProfiles, "zelk.profiles", QtInfoMsg)
