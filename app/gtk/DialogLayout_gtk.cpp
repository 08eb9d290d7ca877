#include "app/gtk/DialogLayout_gtk.h"

#include <gdk/gdk.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

#include <algorithm>

#include "platform/Resources.h"

namespace norvane::gtk {

constexpr int kIconResourceId = 128;

void AtLeast(Gtk::Widget& widget, int width, int height) {
    widget.set_size_request(PixelsX(width), PixelsY(height));
}

void Inset(Gtk::Widget& widget, int start, int top, int end, int bottom) {
    widget.set_margin_start(start);
    widget.set_margin_top(top);
    widget.set_margin_end(end);
    widget.set_margin_bottom(bottom);
}

void ReserveWidthFor(Gtk::Label& label, std::vector<std::string> samples) {
    auto reserve = [&label, samples = std::move(samples)] {
        int widest = 0;
        for (const std::string& sample : samples) {
            int width = 0;
            int height = 0;
            label.create_pango_layout(sample)->get_pixel_size(width, height);
            widest = std::max(widest, width);
        }
        const Gtk::Border padding =
            label.get_style_context()->get_padding(label.get_style_context()->get_state());
        label.set_size_request(widest + padding.get_left() + padding.get_right(), -1);
    };
    reserve();
    label.signal_style_updated().connect(reserve);
}

std::string WidthsOf(Gtk::Widget& room, Gtk::Label& label) {
    int minimum = 0;
    int natural = 0;
    label.get_preferred_width(minimum, natural);
    return std::to_string(room.get_allocated_width()) + " " + std::to_string(natural);
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
