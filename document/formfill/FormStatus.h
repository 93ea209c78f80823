#pragma once
// The texts of the form section: the status line with its counts, the title of the review
// button, the sentence on the data the profile lacks and the recognition note. The widget only
// colours what these give. No Qt.

#include <string>
#include <vector>

#include "forms/plan/FillItem.h"

namespace FormStatus {

inline constexpr const char* analysing = "Reconociendo los campos del formulario…";
inline constexpr const char* nothing = "No hay campos que Tindra sepa rellenar.";
inline constexpr const char* bullet = "● ";
inline constexpr const char* separator = "   ";  // between two segments

// The colour of a segment's bullet.
enum class Tone { green, orange, tertiary };

struct Segment {
    int count = 0;
    std::string word;  // "rellenados", "por confirmar", "a tu cargo"
    Tone tone = Tone::green;
    friend bool operator==(const Segment&, const Segment&) = default;
};

// The segments with a count above 0, in the order written, suggested, yours.
std::vector<Segment> segments(int written, int suggested, int yours);
// The status as plain text: the segments separated by three spaces, each "● N word"; `nothing`
// when there is no segment.
std::string plain(const std::vector<Segment>& segments);

// "Revisar la sugerencia…" for one, else "Revisar las N sugerencias…".
std::string confirmTitle(int suggested);

// The phrases of what the profile lacks ("tu domicilio", "tu teléfono", …), once each, in the
// order of the items in state yours that ask for it.
std::vector<std::string> missingPhrases(const std::vector<FillItem>& items);
// "Mis datos no tiene " and the phrases joined with ", " and " ni ", and "."; empty without
// phrases.
std::string missingSentence(const std::vector<std::string>& phrases);

// The sentence of a reading cut by its bounds: «Formulario leído en parte: hasta la página M de
// P.», or «Formulario leído en parte: ninguna página entera de P.» when M is 0.
std::string partial(int lastWholePage, int pageCount);

// How the form was recognised: by the AI service when its answers gave the labels, else on this
// computer, saying why when the service was on (`aiOn`) but no answer of it was used.
std::string note(bool aiAnswered, bool aiOn = false);

}  // namespace FormStatus
