// Tindra: signs PDF files with the user's certificate.
#include "app/Entry.h"
#include "app/HandOverLink.h"

int main(int argc, char** argv) {
    // A link handed over in the environment counts as one more argument; it never enters the
    // process's command line.
    std::string link;
    std::vector<char*> arguments = HandOverLink::arguments(argc, argv, link);
    return Entry::run(static_cast<int>(arguments.size()) - 1, arguments.data());
}
