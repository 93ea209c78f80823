#pragma once
// What the document window needs that only the application has: the help popover, the home
// window's profile section and the name of a filled copy. The application implements it and
// installs it in the document windows' context (DocumentContext::host) at start-up.

#include <filesystem>
#include <string>

class QWidget;

class DocumentHost {
public:
    virtual ~DocumentHost() = default;

    // Shows the help page at `section` in a popover attached to `from` (nothing when the help
    // page is missing).
    virtual void popHelp(const std::string& section, QWidget* from) = 0;
    // Brings up the home window on its profile section ("Mis datos").
    virtual void showProfile() = 0;
    // The file a copy saved without a signature would be written to, beside `source`:
    // "<name>-rellenado.pdf", with a counter from 2 when that name is taken.
    virtual std::filesystem::path filledCopy(const std::filesystem::path& source) = 0;
};
