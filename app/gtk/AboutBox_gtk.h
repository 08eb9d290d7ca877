// The about box (template 100): the program's icon, the version, build and copyright lines,
// and an OK button.
#pragma once

#include <gtkmm.h>

#include "app/AboutBox.h"
#include "app/UiTrace.h"

namespace norvane::gtk {

class AboutBox final : public Gtk::Dialog {
public:
    AboutBox(Gtk::Window& parent, const AboutLines& lines, UiTrace& trace);

private:
    void OnMap();

    UiTrace& trace_;
    Gtk::Grid grid_;
    Gtk::Image icon_;
    Gtk::Label versionLine_;
    Gtk::Label buildLine_;
    Gtk::Label copyrightLine_;
    Gtk::Button ok_;
};

}  // namespace norvane::gtk
