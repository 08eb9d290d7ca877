#include "app/gtk/AboutBox_gtk.h"

#include "app/gtk/DialogLayout_gtk.h"

namespace norvane::gtk {

AboutBox::AboutBox(Gtk::Window& parent, const AboutLines& lines, UiTrace& trace)
    : Gtk::Dialog(lines.caption, parent, true), trace_(trace), ok_("OK") {
    get_style_context()->add_class("norvane-dialog");
    set_resizable(false);
    set_skip_taskbar_hint(true);

    if (auto pixbuf = ProgramIcon(32)) {
        icon_.set(pixbuf);
    }
    for (Gtk::Label* label : {&versionLine_, &buildLine_, &copyrightLine_}) {
        label->set_xalign(0.0f);
        label->set_ellipsize(Pango::ELLIPSIZE_END);
        label->set_use_underline(false);
    }
    versionLine_.set_text(lines.version);
    buildLine_.set_text(lines.build);
    copyrightLine_.set_text(lines.copyright);

    // Template 100 as a grid: the icon, the three lines in a column, OK at the bottom right;
    // each takes at least its template's size and grows with its text and the font.
    AtLeast(icon_, 21, 20);
    icon_.set_valign(Gtk::ALIGN_CENTER);
    grid_.attach(icon_, 0, 0, 1, 3);
    int row = 0;
    for (Gtk::Label* line : {&versionLine_, &buildLine_, &copyrightLine_}) {
        AtLeast(*line, 115, 8);
        line->set_hexpand(true);
        grid_.attach(*line, 1, row++, 1, 1);
    }
    AtLeast(ok_, 50, 14);
    ok_.set_valign(Gtk::ALIGN_END);
    grid_.attach(ok_, 2, 1, 1, 2);
    icon_.set_margin_end(6);
    grid_.set_column_spacing(4);
    grid_.set_row_spacing(8);
    Inset(grid_, 17, 8, 10, 13);
    ok_.signal_clicked().connect([this] { response(Gtk::RESPONSE_OK); });
    ok_.set_can_default(true);

    Gtk::Box* content = get_content_area();
    content->set_border_width(0);
    content->set_spacing(0);
    content->pack_start(grid_, Gtk::PACK_EXPAND_WIDGET);
    set_border_width(0);
    set_default(ok_);
    signal_map().connect(sigc::mem_fun(*this, &AboutBox::OnMap));
    show_all_children();
    ok_.grab_focus();
}

void AboutBox::OnMap() {
    trace_.Line("about-window", WindowIdOf(*this));
    trace_.Line("about caption", get_title().raw());
    trace_.Line("about version", versionLine_.get_text().raw());
    trace_.Line("about build", buildLine_.get_text().raw());
    trace_.Line("about copyright", copyrightLine_.get_text().raw());
}

}  // namespace norvane::gtk
