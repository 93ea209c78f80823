#pragma once
// Spanish wording of the operating system's error numbers, for the sentences shown to the user.

#include <string>

namespace SystemError {

// A short Spanish clause for errno `error` ("no queda espacio en el disco"); the system's own text
// for numbers without a translation.
std::string describe(int error);

}  // namespace SystemError
