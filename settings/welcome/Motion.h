#pragma once
// The welcome window's entrance animations. Every delay counts from the call; an animation holds
// its first value until it begins. Each reads the desktop's reduced-motion setting afresh: under
// it, movements become short fades.

#include <vector>

class MotionTarget;
class QWidget;

namespace Motion {

// The desktop asks for reduced motion (read now).
bool reduced();

// The target of a widget: installs a MotionEffect on it the first time.
MotionTarget* target(QWidget* widget);

// Fades in (0.35 s; 0.25 s reduced) and, unless reduced, slides in from (dx, dy) on a spring:
// bouncy (stiffness 260, damping 18) or smooth (170, critically damped). Nothing without a target.
void appear(MotionTarget* target, double delay = 0, double dx = 0, double dy = 0,
            bool bounce = false);
// Draws the stroke from start to end with ease-in-ease-out; reduced: complete at once, then a
// fade after 0.1 s.
void draw(MotionTarget* target, double delay, double duration);
// Fades in and, unless reduced, grows from 0.6 to full size on a spring (300, 15).
void pop(MotionTarget* target, double delay = 0);
// Makes the widgets appear one after the other, 14 points from below.
void stagger(const std::vector<QWidget*>& views, double delay = 0.05, double step = 0.08);

}  // namespace Motion
