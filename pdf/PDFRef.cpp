#include "pdf/PDFRef.h"

std::string PDFRef::description() const {
    return std::to_string(number) + " " + std::to_string(generation) + " R";
}
