#include "platform/ProcessPrivileges.h"

#include <unistd.h>

bool processRunsAsSuperUser() {
    return geteuid() == 0;
}
