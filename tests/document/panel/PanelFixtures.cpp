// Gives the fixtures' header to the meta-object compiler (its store notifier has a signal).
#include "PanelFixtures.h"
