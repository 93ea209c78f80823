#pragma once
// The drawing of the first welcome page: the file manager's context menu with the signing item
// highlighted, beside a sheet that receives a handwritten signature in three strokes and a green
// stamp. Numbers in points. The menu's and the sheet's places are in the scene's frame, whose y
// grows upwards from the bottom of a 270-point-high view; what lies inside the menu and the
// sheet is placed from their top-left corner, y downwards.

#include <array>
#include <string>
#include <vector>

#include "settings/welcome/ScenePath.h"

struct SignSceneModel {
    enum class Weight { regular, semibold, bold };

    struct Text {
        std::string text;
        SceneRect frame;  // the text starts at its top-left corner (or is centred when `centred`)
        double size = 13.5;
        Weight weight = Weight::regular;
        double alpha = 1;  // of white
        bool centred = false;
    };

    static constexpr double viewHeight = 270;
    static constexpr std::size_t signingItem = 3;

    // Menu: frame in the scene, corner radius; its items and the highlight inside it.
    SceneRect menu{0, 46, 230, 170};
    double menuRadius = 12;
    std::vector<Text> items;
    SceneRect highlight;
    double highlightRadius = 7;

    // Sheet: centre in the scene, size, rotation in the scene's y-up sense (radians).
    ScenePoint paperCentre{470, 135};
    double paperWidth = 220;
    double paperHeight = 270;
    double paperRotation = -0.05;
    double paperRadius = 10;
    // On the sheet.
    std::vector<SceneRect> bars;
    double barRadius = 3;
    SceneRect box{22, 168, 176, 70};
    double boxRadius = 6;
    std::array<ScenePath, 3> strokes;
    double strokeWidth = 4.5;
    SceneRect stamp{108, 244, 100, 26};
    double stampRadius = 13;
    Text stampText;  // inside the stamp

    static SignSceneModel make(const std::string& productName);

    // A point of the strokes' design space on the signature box.
    static ScenePoint designPoint(ScenePoint design, const SceneRect& box);
    // The distance from the view's top of a scene frame (the scene's y grows upwards).
    static double top(const SceneRect& frame) { return viewHeight - frame.y - frame.height; }
};
