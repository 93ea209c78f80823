#pragma once
// The one writer of PDF syntax. Output is deterministic and locale-independent.

#include "pdf/PDFObject.h"

#include <string>
#include <string_view>

namespace PDFSerializer {

// A new buffer holding the object's bytes.
std::string data(const PDFObject& object);

// Append the object's (or dictionary's) bytes to `out`. A stream is written with /Length set to
// its data size (replacing an existing /Length in place, else added last).
void write(const PDFObject& object, std::string& out);
void write(const PDFDictionary& dictionary, std::string& out);

// A number: an integral value below 1e15 in magnitude as an integer, else "%.5f" with trailing
// zeros and a final "." removed. A non-finite value (not PDF syntax) is written as 0.
std::string format(double value);

// A name token, "/" included, with #XX escapes.
std::string name(std::string_view text);

// A string token: a literal when every byte is printable ASCII, else hexadecimal.
std::string string(std::string_view bytes);

}  // namespace PDFSerializer
