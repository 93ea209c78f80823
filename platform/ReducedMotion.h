#pragma once
// Whether the desktop asks applications to reduce motion. GNOME (and the desktops that follow its
// settings) switch animations off with org.gnome.desktop.interface enable-animations = false;
// KDE Plasma with AnimationDurationFactor=0 in the [KDE] group of kdeglobals. The setting is read
// at every call, so a change applies to the next animation. Tests replace the source.

#include <functional>

namespace ReducedMotion {

// The current answer: the test source when one is set, else the desktop's settings.
bool enabled();

// The desktop's settings, read now. A desktop without either setting does not reduce motion.
bool system();

// Replaces the source of enabled(); an empty function restores the desktop's settings.
void setSource(std::function<bool()> source);

}  // namespace ReducedMotion
