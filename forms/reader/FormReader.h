#pragma once
// Reading a form: the fields of a PDF document with the texts printed around them, and the units
// the user answers together.
//
//   std::vector<FormField> fields = FormReader::fields(file);        // page text through Poppler
//   std::vector<FormUnit> units = FormReader::units(fields);
//
// The fields are the interactive form's widgets, page by page in /Annots order, with ids 1, 2, 3…
// When the document has no usable widget at all, the boxes, fill lines and tick columns drawn on
// its pages take their place (drawnFields). Nothing here throws: what cannot be read gives fewer
// fields. Page i is file.pageRefs()[i] and pages.text(i), read once per page; a page that shows
// more glyphs than PageGlyphs::maxGlyphs is read without its text, and the text that widgets
// themselves show is no printed caption (see FormPageText).

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "forms/reader/FillLine.h"
#include "forms/reader/FormField.h"
#include "forms/reader/FormTitle.h"
#include "forms/reader/FormUnit.h"
#include "pages/Geometry.h"

class PDFFile;
class PageSource;
class FormPageText;
class Regex;

namespace FormReader {

// Fields read from one document; the rest of a hostile one is left out. A flat form of 1,000
// pages with 22 fields a page holds 22,000. A field takes 464 bytes and its captions a few
// hundred more, so the fields of one reading stay under some 40 MB.
constexpr std::size_t maxFields = 40'000;
// /Annots entries read per page; a real page has at most a few hundred.
constexpr std::size_t maxAnnotsPerPage = 10'000;
// Options read per choice field; real lists (countries, provinces) have a few hundred.
constexpr std::size_t maxOptions = 10'000;
// A widget's tool tip, value or option longer than this is cut: real ones are at most a few
// hundred characters, and a long text shared by many widgets must not be copied into each field.
constexpr std::size_t maxTextBytes = 64 * 1024;
// The options of one choice field, in bytes; the options after them are left out.
constexpr std::size_t maxOptionBytes = 1024 * 1024;
// Tool tips, values and options of all fields of a document, in bytes; the fields read after
// that carry none.
constexpr std::size_t maxDocumentTextBytes = 32 * 1024 * 1024;
// The work the search for drawn fields may do in one document, whatever its number of pages: the
// glyphs of the pages whose text is laid out (a page that draws nothing but text whose words hold
// nothing a field is drawn with is not), the path segments drawn and content bytes decoded on the
// pages read, and the pixels of the pages rendered for their ink. A flat form of a few hundred
// pages takes a small part of each. The pages after glyphs, paths or bytes are spent are not
// searched; once the pixels are spent, pages are searched without their ink (fill lines).
constexpr std::size_t maxDrawnGlyphs = 20'000'000;
constexpr std::size_t maxDrawnPaths = 2'000'000;
constexpr std::size_t maxDrawnContentBytes = 512 * 1024 * 1024;
constexpr double maxDrawnPixels = 1e9;  // 500 A4 pages at 2 pixels per point
// The pixels one reading may render: maxDrawnPixels, unless a caller (a test that must see the
// budget spent) sets another. Pages whose cells the drawing decides render nothing.
double& drawnPixelBudget();
// A reading (widgets and drawn fields) is not cut by time: the page process bounds what each page
// may take (PageLimits), and the budgets above bound what is done with it, so that an ordinary
// form of any length is read whole, on a loaded machine too. The time limit is only a safeguard
// against a reading gone wrong: pageTimeLimit() for each page of the document and one more (the
// opening), by default the time the page process allows a page for its text and its ink, which
// no ordinary page comes near; a day at most.
std::chrono::milliseconds readingTimeLimit(std::size_t pageCount);
// The time each page adds to the limit, unless a caller (a test that must see the limit reached)
// sets another.
std::chrono::milliseconds& pageTimeLimit();
// Text runs of one page tried as tick headers or labels: more only come from hostile pages.
constexpr std::size_t maxRunsPerPage = 2'000;
// Label cells kept per page.
constexpr std::size_t maxLabelCells = 500;
// Texts longer than these are not run through a regular expression: a heading line is at most 90
// characters, a caption at most 160.
constexpr std::size_t maxHeadingCharacters = 90;
constexpr std::size_t maxCaptionCharacters = 160;

// How far a reading went: the pages read (widgets read, or searched for drawn fields) out of the
// document's pages, and whether the stop token or the time limit ended it before the last page.
// A bound of the reading (the field cap, the work budgets) that cuts it sets `cut`; `pagesWhole`
// counts the pages read whole from the first, so page `pagesWhole` (counted from 1) is the last
// one read whole, and the pages after it were read in part or not at all.
struct ReadReport {
    int pagesRead = 0;
    int pageCount = 0;
    bool stopped = false;
    bool cut = false;
    int pagesWhole = 0;

    // Whether some page was not read whole, whatever ended the reading.
    bool partial() const { return pagesWhole < pageCount; }
};

// The log line of a reading that found `fields` fields: «Formulario leído: N campos en P
// páginas.», or, when some page was not read whole, «Formulario leído en parte: N campos hasta
// la página M de P.» naming the last page read whole; empty for a whole reading without fields.
std::string readingLine(const ReadReport& report, std::size_t fields);

// Told, on the reading's thread, the number of fields found so far each time a page adds some.
using Progress = std::function<void(std::size_t found)>;

// The fields of the document, their page text read from `pages`. The reading ends early, with
// the fields found so far, when `stop` is requested or readingTimeLimit() has passed; `report`
// (when given) says how many pages were read, and `found` (when given) follows the reading.
std::vector<FormField> fields(PDFFile& file, const PageSource& pages, std::stop_token stop,
                              ReadReport* report = nullptr, const Progress& found = {});
// The same without a stop token.
std::vector<FormField> fields(PDFFile& file, const PageSource& pages);
// The same with the page text read through Poppler from the file's bytes; when Poppler cannot
// open them, the widgets without captions and no drawn fields.
std::vector<FormField> fields(PDFFile& file);

// Rows of one-character boxes joined into units, every other editable field a unit of its own;
// read-only fields and drawn ticks are left out. In page and reading order.
std::vector<FormUnit> units(const std::vector<FormField>& fields);

// The fields drawn on the pages of a flat form (label cells, fill lines, tick cells), ids from 1,
// searched until `stop` is requested or readingTimeLimit() has passed.
std::vector<FormField> drawnFields(PDFFile& file, const PageSource& pages,
                                   std::stop_token stop = {}, ReadReport* report = nullptr);

// The normalisation of every text read from a page: runs of white space (blanks, tabs, line
// breaks, no-break and other Unicode spaces) become one blank, and both ends are trimmed.
std::string clean(std::string_view utf8);
std::u16string clean(std::u16string_view text);

// The printed text inside a page-space rectangle, already cleaned.
using TextSource = std::function<std::string(const Rect&)>;

// Overwrites the field's left, above, right, context, section, header and captions from the text
// around its rect and from the page's titles.
void describe(FormField& field, const TextSource& around, const std::vector<FormTitle>& titles);

// The fill-in lines of a page in text order, each with its caption.
std::vector<FillLine> fillLines(const FormPageText& page);

// The page's lines that read as headings, in text order.
std::vector<FormTitle> headings(const FormPageText& page);
// The line test of headings for one line's text and minimum y; nothing when it is no title.
std::optional<FormTitle> title(std::u16string_view line, double y);

// A whole tick-column caption: «Sí», «No», «N/A», «No aplica», «X» (case-insensitive).
const Regex& tickHeader();
// Signature and stamp words: «firma», «signatura», «sinatura», «sinadura», «signature», «sello».
const Regex& signatureCue();

}  // namespace FormReader
