// Dialog templates are laid out in dialog units of 8-point MS Sans Serif: at 96 dpi one
// horizontal unit is about 1.5 pixels and one vertical unit about 1.625 pixels. The GTK
// windows are grids in the templates' arrangement whose widgets take at least their
// template's size and grow with their texts and the font (the desktop's text scale, a longer
// translation), never cutting a text or laying one over another.
#pragma once

#include <gtkmm.h>

#include <string>
#include <vector>

namespace norvane::gtk {

constexpr int PixelsX(int units) {
    return (units * 3 + 1) / 2;
}
constexpr int PixelsY(int units) {
    return (units * 13 + 4) / 8;
}

// The template's size (dialog units) as the least `widget` takes.
void AtLeast(Gtk::Widget& widget, int width, int height);

// Margins in pixels around `widget` inside its parent.
void Inset(Gtk::Widget& widget, int start, int top, int end, int bottom);

// Keeps `label` at least as wide as the widest of `samples` in its own font, now and whenever
// its style changes (the desktop's text scale, the font), so that the window is laid out for
// every text the field will show and never cuts one.
void ReserveWidthFor(Gtk::Label& label, std::vector<std::string> samples);

// "<room> <natural width>" for the UI trace: the width `room` was laid out with (the label
// itself, or the group its caption heads) and the width `label`'s text needs. Less room than
// text cuts the text or lays it over a neighbour.
std::string WidthsOf(Gtk::Widget& room, Gtk::Label& label);

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
