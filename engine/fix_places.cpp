// Where the programs' fixes look: the same places their review reads.
#include "engine/engine.h"

FixPlaces SystemFixPlaces() {
    return {SystemLauncherSources(), SystemPolicyRoots()};
}
