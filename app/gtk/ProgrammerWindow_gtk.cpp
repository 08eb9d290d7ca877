#include "app/gtk/ProgrammerWindow_gtk.h"

#include <gdk/gdkkeysyms.h>

#include "app/ResultBoxPlacement.h"
#include "app/Startup.h"
#include "app/gtk/DialogLayout_gtk.h"

namespace norvane::gtk {
namespace {

const char* LabelName(uint32_t target) {
    switch (target) {
        case TextStatus:
            return "status";
        case TextProgramVersion:
            return "version";
        case TextDevice:
            return "device";
        default:
            return "serial";
    }
}

DialogKey KeyOf(const GdkEventKey* event) {
    const bool alt = (event->state & GDK_MOD1_MASK) != 0;
    switch (event->keyval) {
        case GDK_KEY_Escape:
            return DialogKey::Escape;
        case GDK_KEY_Return:
        case GDK_KEY_KP_Enter:
        case GDK_KEY_ISO_Enter:
            return DialogKey::Enter;
        case GDK_KEY_F1:
        case GDK_KEY_Help:
            return DialogKey::Help;
        case GDK_KEY_F4:
            return alt ? DialogKey::AltF4 : DialogKey::Other;
        default:
            return DialogKey::Other;
    }
}

}  // namespace

ProgrammerWindow::ProgrammerWindow(const MultiStrings& strings, AboutLines about, UiTrace& trace)
    : trace_(trace),
      texts_(DialogTextsFrom(strings)),
      aboutItem_(UnderscoreMnemonic(texts_.aboutItem), true),
      dialog_(*this, strings, std::move(about)) {
    InstallDialogStyle();
    get_style_context()->add_class("norvane-dialog");
    set_title(texts_.caption);
    set_resizable(false);
    set_position(Gtk::WIN_POS_CENTER);
    set_type_hint(Gdk::WINDOW_TYPE_HINT_DIALOG);
    if (auto icon = ProgramIcon(48)) {
        set_icon(icon);
    }
    add_events(Gdk::BUTTON_PRESS_MASK);

    MakeGroup(statusGroup_, texts_.statusGroup);
    MakeGroup(versionGroup_, texts_.versionGroup);
    MakeGroup(deviceGroup_, texts_.deviceGroup);
    MakeGroup(serialGroup_, texts_.serialGroup);
    MakeSunken(statusFrame_, statusText_);
    MakeSunken(versionFrame_, versionText_);
    MakeSunken(deviceFrame_, deviceText_);
    MakeSunken(serialFrame_, serialText_);

    fixed_.set_size_request(PixelsX(215), PixelsY(70));
    Place(fixed_, statusGroup_, 4, 3, 206, 37);
    Place(fixed_, statusFrame_, 8, 12, 197, 9);
    Place(fixed_, progress_, 8, 26, 197, 9);
    Place(fixed_, versionGroup_, 4, 43, 66, 23);
    Place(fixed_, versionFrame_, 9, 52, 56, 9);
    Place(fixed_, deviceGroup_, 73, 43, 66, 23);
    Place(fixed_, deviceFrame_, 78, 52, 56, 9);
    Place(fixed_, serialGroup_, 144, 43, 66, 23);
    Place(fixed_, serialFrame_, 149, 52, 56, 9);
    add(fixed_);

    // GTK offers no system menu to extend: the same item lives in a window menu that opens on
    // a right click anywhere in the window, or with the Menu key or Shift+F10.
    aboutItem_.signal_activate().connect([this] { dialog_.OnAbout(); });
    windowMenu_.append(aboutItem_);
    windowMenu_.show_all();
    windowMenu_.attach_to_widget(*this);

    dispatcher_.connect([this] { dialog_.DispatchPending(); });
    dialog_.SetWake([this] { dispatcher_.emit(); });
    signal_map().connect(sigc::mem_fun(*this, &ProgrammerWindow::OnMap));
    show_all_children();
}

ProgrammerWindow::~ProgrammerWindow() {
    dialog_.JoinWorker();
}

void ProgrammerWindow::StartJob(JobRunner runner) {
    dialog_.Start(std::move(runner));
}

int ProgrammerWindow::Finish() {
    dialog_.JoinWorker();
    return dialog_.ExitStatus();
}

void ProgrammerWindow::OnSignal(int signal) {
    trace_.Line("signal", std::to_string(signal));
    dialog_.OnSignal();
    if (openAbout_ != nullptr) {  // its modal loop would keep the program from ending
        openAbout_->response(Gtk::RESPONSE_CLOSE);
        openAbout_->hide();
    }
    if (openResult_ != nullptr) {
        openResult_->response(Gtk::RESPONSE_OK);
    }
}

void ProgrammerWindow::OnDisplayLost() {
    trace_.Line("display-lost");
    displayLost_ = true;
    dialog_.OnSignal();
    dialog_.JoinWorker();
    dialog_.DispatchPending();  // the result, to stderr only
}

void ProgrammerWindow::OnMap() {
    trace_.Line("window", WindowIdOf(*this));
    trace_.Line("caption", get_title().raw());
    trace_.Line("size", std::to_string(get_width()) + "x" + std::to_string(get_height()));
    trace_.Line("group status", statusGroup_.get_label().raw());
    trace_.Line("group version", versionGroup_.get_label().raw());
    trace_.Line("group device", deviceGroup_.get_label().raw());
    trace_.Line("group serial", serialGroup_.get_label().raw());
    trace_.Line("menu", aboutItem_.get_label().raw());
}

void ProgrammerWindow::SetLabel(uint32_t target, const std::string& text) {
    if (displayLost_) {
        return;
    }
    Gtk::Label* labels[] = {&statusText_, &versionText_, &deviceText_, &serialText_};
    Gtk::Label& label = *labels[target];
    label.set_text(text);
    trace_.Line(std::string("label ") + LabelName(target), label.get_text().raw());
}

void ProgrammerWindow::SetProgress(const ProgressState& progress) {
    if (displayLost_) {
        return;
    }
    progress_.set_fraction(progress.Fraction());
    trace_.Line("progress",
                std::to_string(progress.position) + "/" + std::to_string(progress.upper));
}

void ProgrammerWindow::ShowResultBox(const ResultBox& result) {
    if (displayLost_) {
        return;
    }
    if (openAbout_ != nullptr) {
        // The job is over: the about box makes way for the result. Its own loop returns only
        // after this one, so hide it now as well.
        openAbout_->response(Gtk::RESPONSE_CLOSE);
        openAbout_->hide();
    }
    // GTK 3 draws no icon for the message type any more: the box gets the theme's own, so that
    // success and failure do not look alike.
    Gtk::Image icon;
    icon.set_from_icon_name(result.success ? "dialog-information" : "dialog-error",
                            Gtk::ICON_SIZE_DIALOG);
    Gtk::MessageDialog box(*this, result.message, false,
                           result.success ? Gtk::MESSAGE_INFO : Gtk::MESSAGE_ERROR, Gtk::BUTTONS_OK,
                           true);
    box.set_title(texts_.caption);
    box.set_image(icon);
    icon.show();
    if (!result.detail.empty()) {
        box.set_secondary_text(result.detail);
    }
    PlaceClear(box);
    box.signal_map().connect([this, &box, &result] {
        trace_.Line("message-window", WindowIdOf(box));
        const auto* shown = dynamic_cast<const Gtk::Image*>(box.get_image());
        trace_.Line("message-icon", shown != nullptr ? shown->get_icon_name().raw() : "");
        trace_.Line("message", box.property_text().get_value().raw());
        if (!result.detail.empty()) {
            trace_.Line("message-detail", box.property_secondary_text().get_value().raw());
        }
    });
    openResult_ = &box;
    box.run();
    openResult_ = nullptr;
    trace_.Line("message-closed");
}

void ProgrammerWindow::PlaceClear(Gtk::Window& box) {
    const Glib::RefPtr<Gdk::Window> window = get_window();
    if (!window) {
        return;
    }
    Gdk::Rectangle frame;
    window->get_frame_extents(frame);
    Gdk::Rectangle work;
    get_display()->get_monitor_at_window(window)->get_workarea(work);
    Gtk::Requisition minimum;
    Gtk::Requisition natural;
    box.get_preferred_size(minimum, natural);
    const ResultBoxPlace at = PlaceResultBox(
        {frame.get_x(), frame.get_y(), frame.get_width(), frame.get_height()}, natural.width,
        natural.height, {work.get_x(), work.get_y(), work.get_width(), work.get_height()});
    // Without a window manager nobody else places them; with one, the request usually holds.
    if (at.mainWindow.x != frame.get_x() || at.mainWindow.y != frame.get_y()) {
        move(at.mainWindow.x, at.mainWindow.y);
    }
    box.set_position(Gtk::WIN_POS_NONE);
    box.move(at.box.x, at.box.y);
}

void ProgrammerWindow::ShowAboutBox(const AboutLines& lines) {
    AboutBox about(*this, lines, trace_);
    openAbout_ = &about;
    about.run();
    openAbout_ = nullptr;
    trace_.Line("about-closed");
}

void ProgrammerWindow::CloseWindow() {
    if (closed_ || displayLost_) {
        return;
    }
    closed_ = true;
    trace_.Line("closed");
    hide();
}

bool ProgrammerWindow::on_delete_event(GdkEventAny*) {
    const bool mayClose = dialog_.OnCloseRequest();
    trace_.Line("close-request", mayClose ? "closing" : "refused, abort requested");
    if (mayClose) {
        CloseWindow();
    }
    return true;  // the window is closed by CloseWindow alone
}

bool ProgrammerWindow::on_key_press_event(GdkEventKey* event) {
    const bool handled = HandleKey(event);
    // After the key's effects: a test that sees this line sees whatever the key caused.
    const char* name = gdk_keyval_name(event->keyval);
    trace_.Line("key", name != nullptr ? name : "?");
    return handled;
}

bool ProgrammerWindow::HandleKey(GdkEventKey* event) {
    const DialogKey key = KeyOf(event);
    if (key == DialogKey::Escape || key == DialogKey::AltF4) {
        trace_.Line("close-request", dialog_.JobRunning() ? "refused, abort requested" : "key");
    }
    if (dialog_.OnKey(key)) {
        return true;
    }
    const bool shift = (event->state & GDK_SHIFT_MASK) != 0;
    if (event->keyval == GDK_KEY_Menu || (shift && event->keyval == GDK_KEY_F10)) {
        PopupWindowMenu(reinterpret_cast<const GdkEvent*>(event));
        return true;
    }
    return Gtk::Window::on_key_press_event(event);
}

bool ProgrammerWindow::on_button_press_event(GdkEventButton* event) {
    if (event->type == GDK_BUTTON_PRESS && event->button == 3) {
        PopupWindowMenu(reinterpret_cast<const GdkEvent*>(event));
        return true;
    }
    return Gtk::Window::on_button_press_event(event);
}

void ProgrammerWindow::PopupWindowMenu(const GdkEvent* event) {
    if (event->type == GDK_BUTTON_PRESS) {
        windowMenu_.popup_at_pointer(event);
    } else {
        windowMenu_.popup_at_widget(&fixed_, Gdk::GRAVITY_NORTH_WEST, Gdk::GRAVITY_NORTH_WEST,
                                    event);
        windowMenu_.select_first(false);
    }
    trace_.Line("menu-open");
}

}  // namespace norvane::gtk
