#pragma once
// The limits the page process puts on itself before it reads a document: what it may take of the
// machine (memory, processor time, file sizes) and what it may not do at all (write or make files,
// open network sockets, start programs, trace other processes).

#include <cstdint>

namespace PageSandbox {

// Ties the process to its parent (it is killed when the parent ends) and closes every inherited
// descriptor from `firstToClose` on. False when the parent is already gone.
bool attachToParent(int expectedParent, int firstToClose);

// Processor time, core dumps and file sizes.
void limitResources();

// The memory limit, once the document is known (again for each document); `documentBytes` is
// added to it, since the document is mapped into the process. In a build with AddressSanitizer, whose shadow memory
// takes more address space than any limit, the application watches the process's memory instead.
void limitMemory(std::int64_t documentBytes);

// Gives the process another slice of processor time (before each request).
void grantProcessorTime();

// The system-call filter. Throws std::runtime_error when the kernel refuses it.
void forbidSideEffects();

}  // namespace PageSandbox
