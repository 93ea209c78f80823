// Tindra: signs PDF files with the user's certificate.
#include "app/Entry.h"

int main(int argc, char** argv) { return Entry::run(argc, argv); }
