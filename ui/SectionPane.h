#pragma once
// A pane the home window shows as one of its sections ("Mis datos", "Opciones"): its view, placed
// with all four edges pinned while the section shows, and `activate`, called each time the
// section is shown. The panes of other folders reach the home window through adapters made by
// the factories of AppServices.

class QWidget;

class SectionPane {
public:
    virtual ~SectionPane() = default;
    virtual QWidget* view() = 0;
    virtual void activate() = 0;
};
