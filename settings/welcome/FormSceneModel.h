#pragma once
// The drawing of the forms page: a sample administrative form whose five fields fill in one after
// the other, the last one waiting to be confirmed. The view is 232 points high and as wide as the
// page's column; the card's frame is in the scene's frame (y grows upwards from the view's
// bottom), everything on the card is placed from its top-left corner, y downwards.

#include <string>
#include <vector>

#include "settings/welcome/ScenePath.h"

struct FormSceneModel {
    struct Field {
        std::string caption;
        std::string value;
        SceneRect rect;          // the field; 32 high
        SceneRect captionFrame;  // above it
        SceneRect valueFrame;    // inside it
        bool confirmed = true;
    };

    static constexpr double viewHeight = 232;
    static constexpr double fieldHeight = 32;

    double width = 0;
    SceneRect card;
    double cardRadius = 12;
    std::string title = "SOLICITUD · DATOS DEL INTERESADO";
    SceneRect titleFrame{22, 16, 400, 16};
    // Column geometry: the left column's width, the right column's start and width.
    double leftWidth = 0;
    double rightX = 0;
    double rightWidth = 0;
    std::vector<Field> fields;
    double fieldRadius = 5;
    SceneRect chip;
    double chipRadius = 11;
    std::string chipText = "Por confirmar";
    SceneRect chipTextFrame;

    static FormSceneModel make(double width);

    // The distance from the view's top of a scene frame.
    static double top(const SceneRect& frame) { return viewHeight - frame.y - frame.height; }
};
