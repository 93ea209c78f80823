#pragma once
// The page process's sandbox. A document that takes over Poppler (a decoder or font bug) runs
// with what this leaves it: its socket, its document, the files needed to draw (fonts, their
// configuration and cache, Poppler's data) for reading, a short list of system calls and no
// way to reach another process, to outlive the application or to raise its limits.

#include <cstdint>
#include <functional>

namespace PageSandbox {

// Landlock's version on a kernel that has none.
inline constexpr int noLandlock = 0;

// Puts the whole sandbox in force, in this order: the process is killed when `parent` ends
// (false when it has ended already); every descriptor but 0-2 and `socket` is closed; every
// capability is dropped and no program could regain one; processor time, address space, core
// dumps and file sizes are limited, hard limits equal to the soft ones; `warmUp` runs, while
// files may still be opened freely (configuration, caches); then files are restricted to reading
// what drawing needs (Landlock, where the kernel has it) and system calls to an allow-list.
// Throws std::runtime_error when a part that must hold cannot be put in force. `landlock` is
// the Landlock version in force, or `noLandlock`.
bool enter(int parent, int socket, const std::function<void()>& warmUp, int& landlock);

// The first part of enter(), up to the warm-up: the death signal, the descriptors, the privileges
// and the limits. A zygote stops there, warms up and makes its readers, each of which enters the
// whole sandbox (what this part did again, then files and calls). False when `parent` has ended.
bool prepare(int parent, int socket);

// Lowers the memory limit, hard and soft, to what one document of `documentBytes` (mapped into
// the process) may take. A limit once lowered cannot be raised again. In a build with
// AddressSanitizer, whose shadow memory takes more address space than any limit, the
// application watches the process's memory instead.
void limitMemory(std::int64_t documentBytes);

// The Landlock version the running kernel offers, or `noLandlock`.
int landlockVersion();

}  // namespace PageSandbox
