#include "app/gtk/ProgrammerWindow_gtk.h"

#include <gdk/gdkkeysyms.h>

#include "app/FieldSamples.h"
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

Gtk::Label* CaptionOf(Gtk::Frame& group) {
    return dynamic_cast<Gtk::Label*>(group.get_label_widget());
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

    // Template 102 as a grid: the status group across the top, the three fields below it in
    // columns of one width. Each widget takes at least its template's size and grows with its
    // texts and the font, so that a larger desktop text scale or a longer translation widens
    // the window instead of cutting a text or laying captions over each other.
    const FieldSamples samples = FieldSamplesFrom(strings);
    ReserveWidthFor(statusText_, samples.status);
    ReserveWidthFor(deviceText_, samples.device);
    ReserveWidthFor(serialText_, samples.serial);
    AtLeast(statusGroup_, 206, 37);
    AtLeast(statusFrame_, 197, 9);
    AtLeast(progress_, 197, 9);
    statusBox_.set_orientation(Gtk::ORIENTATION_VERTICAL);
    statusBox_.set_spacing(7);
    statusBox_.pack_start(statusFrame_, Gtk::PACK_SHRINK);
    statusBox_.pack_start(progress_, Gtk::PACK_SHRINK);
    Inset(statusBox_, 5, 1, 6, 7);
    statusGroup_.add(statusBox_);
    for (auto [group, frame] : {std::pair{&versionGroup_, &versionFrame_},
                                {&deviceGroup_, &deviceFrame_},
                                {&serialGroup_, &serialFrame_}}) {
        AtLeast(*group, 66, 23);
        AtLeast(*frame, 56, 9);
        Inset(*frame, 7, 1, 6, 6);
        group->add(*frame);
    }
    grid_.set_column_homogeneous(true);
    grid_.set_column_spacing(6);
    grid_.set_row_spacing(5);
    Inset(grid_, 6, 5, 8, 7);
    grid_.attach(statusGroup_, 0, 0, 3, 1);
    grid_.attach(versionGroup_, 0, 1, 1, 1);
    grid_.attach(deviceGroup_, 1, 1, 1, 1);
    grid_.attach(serialGroup_, 2, 1, 1, 1);
    add(grid_);
    signal_draw().connect(
        [this](const Cairo::RefPtr<Cairo::Context>&) {
            OnDrawn();
            return false;
        },
        true);

    // GTK offers no system menu to extend: the same item lives in a window menu that opens on
    // a right click anywhere in the window, or with the Menu key or Shift+F10.
    aboutItem_.signal_activate().connect([this] { dialog_.OnAbout(); });
    windowMenu_.append(aboutItem_);
    windowMenu_.show_all();
    windowMenu_.attach_to_widget(*this);
    // Keys reach the menu once it is on the screen: a test waits for this line to send them.
    if (Gtk::Widget* menuWindow = windowMenu_.get_toplevel()) {
        menuWindow->signal_map_event().connect([this](GdkEventAny*) {
            trace_.Line("menu-shown");
            return false;
        });
    }

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
    widthPending_[target] = true;
}

void ProgrammerWindow::OnDrawn() {
    // The room each text was laid out with: every label's and caption's the first time, then
    // those of the texts set since.
    Gtk::Label* labels[] = {&statusText_, &versionText_, &deviceText_, &serialText_};
    Gtk::Frame* groups[] = {&statusGroup_, &versionGroup_, &deviceGroup_, &serialGroup_};
    const bool first = !drawn_;
    drawn_ = true;
    for (uint32_t target = 0; target < widthPending_.size(); ++target) {
        const std::string name = LabelName(target);
        if (first || widthPending_[target]) {
            trace_.Line("width " + name, WidthsOf(*labels[target], *labels[target]));
        }
        widthPending_[target] = false;
        if (Gtk::Label* caption = CaptionOf(*groups[target]); first && caption != nullptr) {
            trace_.Line("width group-" + name, WidthsOf(*groups[target], *caption));
        }
    }
    if (first) {
        trace_.Line("drawn", std::to_string(get_width()) + "x" + std::to_string(get_height()));
    }
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
        windowMenu_.popup_at_widget(&grid_, Gdk::GRAVITY_NORTH_WEST, Gdk::GRAVITY_NORTH_WEST,
                                    event);
        windowMenu_.select_first(false);
    }
    trace_.Line("menu-open");
}

}  // namespace norvane::gtk
