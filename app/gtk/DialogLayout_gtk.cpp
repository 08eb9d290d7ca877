#include "app/gtk/DialogLayout_gtk.h"

#include <gdk/gdk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include "platform/Resources.h"

namespace norvane::gtk {

constexpr int kIconResourceId = 128;

void Place(Gtk::Fixed& fixed, Gtk::Widget& widget, int x, int y, int width, int height) {
    widget.set_size_request(PixelsX(width), PixelsY(height));
    fixed.put(widget, PixelsX(x), PixelsY(y));
}

void MakeGroup(Gtk::Frame& group, const std::string& caption) {
    group.set_label(caption);
    group.set_shadow_type(Gtk::SHADOW_ETCHED_IN);
    group.get_style_context()->add_class("norvane-group");
}

void MakeSunken(Gtk::Frame& frame, Gtk::Label& label) {
    frame.set_shadow_type(Gtk::SHADOW_IN);
    frame.get_style_context()->add_class("norvane-sunken");
    label.set_xalign(0.0f);
    label.set_ellipsize(Pango::ELLIPSIZE_END);
    label.set_single_line_mode(true);
    frame.add(label);
}

void InstallDialogStyle() {
    static bool installed = false;
    if (installed) {
        return;
    }
    installed = true;
    auto css = Gtk::CssProvider::create();
    css->load_from_data(
        ".norvane-dialog label, .norvane-dialog button { font-size: 8pt; }\n"
        ".norvane-dialog frame.norvane-sunken > border { border-style: inset; }\n"
        ".norvane-dialog frame.norvane-sunken label { padding: 0 2px; }\n"
        ".norvane-dialog button { padding: 0; min-height: 0; }\n"
        ".norvane-dialog progressbar trough,\n"
        ".norvane-dialog progressbar progress { min-height: 11px; }\n"
        ".norvane-dialog progressbar progress { border-radius: 0; }\n");
    Gtk::StyleContext::add_provider_for_screen(Gdk::Screen::get_default(), css,
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

std::string WindowIdOf(Gtk::Widget& widget) {
#ifdef GDK_WINDOWING_X11
    auto window = widget.get_window();
    if (window && GDK_IS_X11_WINDOW(window->gobj())) {
        return std::to_string(static_cast<unsigned long>(gdk_x11_window_get_xid(window->gobj())));
    }
#endif
    return "0";
}

Glib::RefPtr<Gdk::Pixbuf> ProgramIcon(int size) {
    const auto bytes = FindResourceBytes("PNG", kIconResourceId);
    if (bytes.empty()) {
        return {};
    }
    try {
        auto loader = Gdk::PixbufLoader::create();
        loader->write(bytes.data(), bytes.size());
        loader->close();
        auto pixbuf = loader->get_pixbuf();
        if (pixbuf && (pixbuf->get_width() != size || pixbuf->get_height() != size)) {
            pixbuf = pixbuf->scale_simple(size, size, Gdk::INTERP_BILINEAR);
        }
        return pixbuf;
    } catch (const Glib::Error&) {
        return {};  // a window without its icon is still usable
    }
}

}  // namespace norvane::gtk
