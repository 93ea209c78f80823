#pragma once
// The application's help: one HTML page compiled into the program ("qrc:/tindra/ayuda.html"),
// shown in a single help window scrolled to a section, or one section alone in a popover beside a
// control. Without the page, both go to the online help in the browser.
//
// The page's contract: each section is an element whose id is the section's name, and its style
// sheet is a <style> element in its head. No script runs: going to a section is scrolling to its
// anchor, and the popover shows the page's style with that one element. Links to the page's own
// sections navigate inside the window (from a popover they open the window at that section),
// "tindra-ayuda:" opens the full help, anything else opens in the browser.

#include <QUrl>

#include <functional>
#include <optional>
#include <string>

class QTextBrowser;
class QWidget;
class URLPresenter;

namespace Help {

inline constexpr int windowWidth = 960;
inline constexpr int windowHeight = 700;
inline constexpr int minimumWidth = 640;
inline constexpr int minimumHeight = 400;
inline constexpr int popoverWidth = 420;
inline constexpr int popoverHeight = 480;
inline constexpr char scheme[] = "tindra-ayuda";

// The help page; nothing when it is not compiled in. Replaceable (tests point it elsewhere or
// clear it).
std::optional<QUrl>& page();
// Where outside pages and the online help open (the system's browser unless replaced).
URLPresenter*& urls();

// The help window at `section` (nothing: where it is), or the online help.
void show(std::optional<std::string> section);
// `section` alone in a popover above `from` (below when there is no room), or the online help.
void pop(const std::string& section, QWidget* from);

// A navigation of the window (no section) or of a popover (its section): true lets the view load
// `url`; false means it was handled here. `linkClicked`: the user clicked a link.
bool follow(const QUrl& url, const std::optional<std::string>& popoverSection, bool linkClicked);

// The section's element with the page's head (its style), as a page of its own; empty when the
// page has no element with that id.
QString one(const QString& html, const QString& section);

// --- State, for the application's tests ----------------------------------------------------------
namespace testing {
// Called for every section the window goes to ("go") or a popover shows ("one").
std::function<void(const std::string& function, const std::string& section)>& onScript();
QWidget* window();          // the help window, null before the first show with a page
QTextBrowser* browser();    // its view
bool loaded();
std::optional<std::string> pending();
QWidget* popover();         // the last popover, null when none or closed
QTextBrowser* popoverBrowser();
// Forgets the window and the popover (deleting them) and restores the page and presenter.
void reset();
}  // namespace testing

}  // namespace Help
