#pragma once
// Work handed to the main thread, and bringing the application forward.

#include <functional>

class QWidget;

// Runs `block` on the main thread after `seconds` (0: the next pass of the event loop), never
// inside the caller. Callable from any thread; the block is kept until it has run. Without an
// application object the block is dropped.
void onMainRunLoop(double seconds, std::function<void()> block);
inline void onMainRunLoop(std::function<void()> block) { onMainRunLoop(0, std::move(block)); }

// Brings `window` (shown if hidden, restored if minimised) to the front and activates it; without
// one, the active window, or else the most recently shown visible window of the application.
void bringToFront(QWidget* window = nullptr);
