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

    fixed_.set_size_request(PixelsX(214), PixelsY(47));
    Place(fixed_, icon_, 11, 13, 21, 20);
    Place(fixed_, versionLine_, 39, 5, 115, 8);
    Place(fixed_, buildLine_, 39, 18, 115, 8);
    Place(fixed_, copyrightLine_, 39, 31, 115, 8);
    Place(fixed_, ok_, 157, 26, 50, 14);
    ok_.signal_clicked().connect([this] { response(Gtk::RESPONSE_OK); });
    ok_.set_can_default(true);

    Gtk::Box* content = get_content_area();
    content->set_border_width(0);
    content->set_spacing(0);
    content->pack_start(fixed_, Gtk::PACK_EXPAND_WIDGET);
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
