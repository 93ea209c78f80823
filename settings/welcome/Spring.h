#pragma once
// A damped spring of mass 1 released from rest: the motion of the welcome window's slides and
// pops. offset(t) is the remaining fraction of the starting offset after t seconds (1 at t = 0,
// tending to 0); the animation ends when the motion's envelope has fallen to a thousandth of the
// offset, where the spring counts as at rest.

struct Spring {
    double stiffness = 170;
    double damping = 26.076809620810597;  // 2·√170: critically damped
    double mass = 1;

    // Fraction of the offset left after `seconds` (1 before the start).
    double offset(double seconds) const;
    // Seconds until the envelope of offset() falls to `restFraction`.
    double settlingDuration(double restFraction = 0.001) const;

    // The springs of the welcome window.
    static Spring bouncy() { return {260, 18, 1}; }
    static Spring smooth();  // 170, 2·√170
    static Spring pop() { return {300, 15, 1}; }
};
