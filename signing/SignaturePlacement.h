#pragma once
// A candidate place for a visible signature on a page: a signature field of the document or a new
// area, with the caption shown to the user and the nearby text used to recognise the signer.

#include <string>
#include <utility>
#include <variant>

#include "pages/Geometry.h"

struct SignaturePlacement {
    // What the signing engine is asked to sign into.
    class Target {
    public:
        // An existing signature field, by its fully qualified name (partial names joined with ".").
        struct Field {
            std::string name;
        };
        // A new signature widget; `page` is 1-based (the page number shown to users), `rect` is in
        // page space.
        struct Area {
            int page = 1;
            Rect rect;
        };

        static Target field(std::string name) { return Target(Field{std::move(name)}); }
        static Target area(int page, Rect rect) { return Target(Area{page, rect}); }

        bool isField() const { return std::holds_alternative<Field>(value_); }
        bool isArea() const { return std::holds_alternative<Area>(value_); }
        // Nothing (null) when the target is of the other kind.
        const Field* asField() const { return std::get_if<Field>(&value_); }
        const Area* asArea() const { return std::get_if<Area>(&value_); }

    private:
        explicit Target(std::variant<Field, Area> value) : value_(std::move(value)) {}
        std::variant<Field, Area> value_;
    };

    Target target;
    int pageIndex = 0;  // 0-based index in the document's page list
    Rect rect;          // page space: points, the page's own unrotated user space
    std::string label;  // Spanish caption shown to the user
    // Text near the place: the field's full name for a field, the cue texts one per line for a
    // cue; empty for the last-page place and for boxes the user draws.
    std::string context;
    bool detected = false;        // found in the document (fields and cues)
    bool isSignatureBox = false;  // the document's own signature field or widget
    int rank = 1;                 // strength of a text cue, 1 the strongest
};
