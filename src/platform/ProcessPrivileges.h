#pragma once

// Chromium refuses to start its sandbox as the super-user; the engine must be told up front.
bool processRunsAsSuperUser();
