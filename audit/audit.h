// The read-only extension audit of the console program.
#pragma once

#include "engine/engine.h"

// Writes the report of installed browser extensions through options.log.
void RunAudit(const CleanupOptions& options);
