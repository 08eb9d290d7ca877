// Dialog templates are laid out in dialog units of 8-point MS Sans Serif: at 96 dpi one
// horizontal unit is about 1.5 pixels and one vertical unit about 1.625 pixels. The GTK
// windows place their widgets on a Gtk::Fixed at the same places.
#pragma once

#include <gtkmm.h>

#include <string>

namespace norvane::gtk {

constexpr int PixelsX(int units) {
    return (units * 3 + 1) / 2;
}
constexpr int PixelsY(int units) {
    return (units * 13 + 4) / 8;
}

// Puts `widget` at the template rectangle (x, y, width, height in dialog units).
void Place(Gtk::Fixed& fixed, Gtk::Widget& widget, int x, int y, int width, int height);

// A group box: a frame with a caption.
void MakeGroup(Gtk::Frame& group, const std::string& caption);

// A sunken text: a label inside an inset frame.
void MakeSunken(Gtk::Frame& frame, Gtk::Label& label);

// The 8-point look of the templates, for every window carrying the "norvane-dialog" class.
void InstallDialogStyle();

// The X11 window id of a realised widget's window, as text; "0" off X11.
std::string WindowIdOf(Gtk::Widget& widget);

// The program's icon (resource PNG 128) at the given size; null when it cannot be read.
Glib::RefPtr<Gdk::Pixbuf> ProgramIcon(int size);

}  // namespace norvane::gtk
