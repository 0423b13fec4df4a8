// Shared by the launcher finders; private to browsers/.
#pragma once

#include "browsers/launchers.h"

// Fills in browser, url, loadsExtension and opensAsApp from the finding's
// program and arguments; true when it is a finding: a browser started with a
// web address or "--load-extension=", or (when launchers count) a launcher
// started with a web address, or a command that is a web address itself.
bool MarkLaunch(LauncherFinding* finding, bool launchersCount);
