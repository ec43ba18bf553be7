// The toolkit of the settings windows: a borderless top-level window and its
// containers, moved by dragging their background, with picture buttons,
// picture boxes (also stacked, scaled picture items), edit boxes and labels
// in the windows' colours and fonts, and handlers bound to one event of one
// control each. Built on the wrappers of platform/gui.hpp.
#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/gui.hpp"
#include "ui/pictures.hpp"

namespace zoq::ui {

using platform::Colour;
using platform::Notice;
using platform::WindowHandle;

inline constexpr Colour kTextColour = 0xE8ECF4;
inline constexpr Colour kDimTextColour = 0x9AA3B5;
inline constexpr Colour kAccentColour = 0x2EAADC;
inline constexpr Colour kEditBackground = 0x1B222E;
inline constexpr Colour kPageColour = 0x252934;
inline constexpr Colour kColumnColour = 0x141720;
inline constexpr Colour kButtonFrameColour = 0x3A4A60;
inline constexpr Colour kButtonPressedColour = 0x1F4F66;
inline constexpr Colour kScrollThumbColour = 0x4A5A72;
// The slim dark scroll bars, in place of the system's light ones.
inline constexpr int kScrollBarWidth = 10;

// A picture shown by a control: one of the built-in ones, or one decoded
// from bytes (from the web), owned by the form.
struct Shown {
  std::optional<Picture> builtIn;
  const platform::Bitmap* bitmap = nullptr;
};

// One picture of a picture-item box, drawn at its position, scaled per mille.
struct PictureItem {
  Shown picture;
  int x = 0, y = 0;
  int scaleX = 1000, scaleY = 1000;
};

// Text drawn on a window's background or on a picture control.
struct Caption {
  std::string text;
  int x = 0, y = 0, width = 0, height = 0;
  Colour colour = kTextColour;
  bool centred = false;
  bool small = false;
};

// What a box the owner edits does with its text: `apply` takes every change
// at once, in GBK (what the core keeps in memory; may be empty), `save`
// stores the text, in GB18030 (every character the box holds), once the
// owner pauses, leaves the box, switches the page or closes the window
// (SaveEdits) — not at every keystroke — and at once when the program fills
// the box (FillEdit). A save writes only what the file does not hold yet;
// false when the file refused it: it is tried again at each of those
// moments, and the box keeps what was typed until it is stored.
// `item` names the text to the owner (its setting) where a text not stored is
// listed.
struct EditHandler {
  std::function<void(const std::string&)> apply;
  std::function<bool(const std::string&)> save;
  std::string item;
};

class Form : public platform::FormEvents {
 public:
  Form();
  ~Form() override;
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  WindowHandle handle() const { return window_.get(); }
  // The named control, or null.
  WindowHandle Control(const std::string& name) const;
  // What a picture control shows: its (normal) picture.
  std::optional<Picture> ShownBuiltIn(WindowHandle control) const;
  const platform::Bitmap* ShownBitmap(WindowHandle control) const;
  std::vector<PictureItem> ItemsOf(WindowHandle control) const;
  Colour TextColourOf(WindowHandle control) const;

 protected:
  // Creates the top-level window with its background picture.
  bool CreateWindowOf(const platform::FormClass& windowClass, const std::string& title, int width, int height,
                      std::optional<Picture> background, WindowHandle owner = nullptr);
  // The same always on top, not in the taskbar, with labels on its background.
  bool CreateTopmostWindowOf(const platform::FormClass& windowClass, const std::string& title, int width,
                             int height, Picture background, std::vector<Caption> captions);
  // A container on the window (or on `parent`); without a picture it is plain.
  WindowHandle Container(const std::string& name, int x, int y, int width, int height,
                         std::optional<Picture> background, std::vector<Caption> captions = {},
                         WindowHandle parent = nullptr);
  // A picture button drawn from a normal and a pressed picture (the pressed
  // one also when it is disabled), with an optional caption over them.
  WindowHandle PictureButton(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                             Shown normal, Shown pressed, Caption caption = {}, Colour litCaption = kTextColour);
  WindowHandle PictureBox(WindowHandle parent, const std::string& name, int x, int y, int width, int height);
  WindowHandle Edit(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                    platform::EditStyle style, bool bold);
  // A multi-line box in the normal weight with a slim dark scroll bar at its
  // right, inside the width given; the bar is named after the box + "滚动条".
  WindowHandle ScrolledEdit(WindowHandle parent, const std::string& name, int x, int y, int width, int height);
  // A report list in the windows' font (platform::CreateReportList).
  WindowHandle ReportList(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                          const platform::ListLook& look);
  WindowHandle Button(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                      const std::string& caption);
  WindowHandle Label(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                     const std::string& text, bool centred, Colour background);

  void On(WindowHandle control, Notice notice, std::function<void()> handler);
  // The change handler of a box the owner edits.
  void OnEdit(WindowHandle edit, EditHandler handler);
  // Stores every edit not saved yet; while one is refused, it is tried
  // again after a pause and the sign (UnstoredSign) shows.
  void SaveEdits();
  // The items (EditHandler::item) of the boxes whose text the file refused
  // last, in the order the boxes were made.
  std::vector<std::string> UnstoredItems() const;
  // The control shown while a typed text is not stored.
  void UnstoredSign(WindowHandle sign) { unstoredSign_ = sign; }
  // Key-downs of a control (and files dropped on it, all of one drop in one
  // call); the handler returns true when it used the key up.
  void OnKey(WindowHandle control, std::function<bool(int key, bool ctrlOnly)> handler);
  using DropHandler = std::function<void(const std::vector<platform::DroppedFile>& files)>;
  void OnDrop(WindowHandle control, DropHandler handler);
  void SetTextColour(WindowHandle control, Colour colour);
  // Text and background colours of a control that draws text.
  void SetColours(WindowHandle control, Colour text, Colour background);
  void SetPicture(WindowHandle control, Shown picture);
  // The words drawn over a picture button.
  void SetButtonCaption(WindowHandle control, const std::string& text, Colour colour);
  void AddItem(WindowHandle box, PictureItem item);
  // Sets an edit box's text (GB18030) from the program: no change handler runs.
  void SetEditText(WindowHandle edit, const std::string& text);
  // An edit box's text in GB18030.
  static std::string EditText(WindowHandle edit) { return platform::WindowTextGb18030(edit); }
  // Fills a box the owner edits (OnEdit) from the program with a text in
  // GB18030: its handler takes `text` at once, as typed, and saves it (the
  // text itself, not what the box makes of it: nothing is cut on the way).
  // A box whose typed text the file refused keeps it (unless `dropTyped`).
  void FillEdit(WindowHandle edit, const std::string& text, bool dropTyped = false);
  // Decodes bytes into a bitmap owned by the form; null when they are no picture.
  const platform::Bitmap* Keep(std::string_view bytes);
  const platform::Bitmap& BuiltIn(Picture picture);

  // Names a control made elsewhere (and gives it a look).
  WindowHandle Named(const std::string& name, WindowHandle control);
  // The top-level window has been destroyed.
  virtual void Closed() {}
  // The class the window was made with (for the windows it opens).
  const platform::FormClass& WindowClass() const { return *class_; }

 private:
  struct Look {
    Shown normal, pressed;
    Caption caption;
    Colour litCaption = kTextColour;
    std::vector<PictureItem> items;
    std::vector<Caption> captions;  // containers: labels on the background
    std::optional<Colour> textOn;   // edit boxes and labels: their background
    Colour behind = kPageColour;    // under pictures with transparent parts
    Colour text = kTextColour;
    bool captioned = false;         // a button that shows its window text
  };

  void OnNotice(WindowHandle control, Notice notice) override;
  void OnPaintControl(WindowHandle control, platform::Painter& painter, int width, int height, bool pressed) override;
  void OnPaintBackground(WindowHandle window, platform::Painter& painter, int width, int height) override;
  bool ColoursOf(WindowHandle control, Colour& text, Colour& background) override;
  void OnDestroyed(WindowHandle window) override;
  bool OnKeyDown(WindowHandle control, int key, bool ctrlOnly) override;
  void OnTimer(WindowHandle window, unsigned id) override;
  void OnFilesDropped(WindowHandle control, const std::vector<platform::DroppedFile>& files) override;
  void Draw(platform::Painter& painter, const Shown& picture, int x, int y, int width, int height);
  void DrawCaption(platform::Painter& painter, const Caption& caption, int dx, int dy, Colour colour);
  // A button with the focus is clicked by Enter as by Space.
  void ClickedByEnter(WindowHandle button);
  // A button with a caption: flat, in the windows' colours.
  void DrawCaptionedButton(WindowHandle button, platform::Painter& painter, int width, int height, bool pressed);
  // The new top-level window joins the windows of this thread's modal
  // session; false (and no window) when they are being closed.
  bool Joined();

  const platform::FormClass* class_ = nullptr;
  platform::UniqueWindow window_;
  platform::UniqueFont font_, boldFont_, smallFont_, captionFont_;
  std::map<std::string, WindowHandle> names_;
  std::map<WindowHandle, Look> looks_;
  std::map<std::pair<WindowHandle, Notice>, std::function<void()>> handlers_;
  struct Edited {
    EditHandler handler;
    bool unsaved = false;
    bool refused = false;  // the file refused its last save
  };
  // Shows the sign while a save is refused, and tries again at the next pause.
  void ShowRefused();
  std::map<WindowHandle, Edited> edits_;
  std::vector<WindowHandle> editOrder_;
  std::map<WindowHandle, std::function<bool(int, bool)>> keyHandlers_;
  std::map<WindowHandle, DropHandler> dropHandlers_;
  std::map<Picture, platform::Bitmap> builtIns_;
  std::vector<std::unique_ptr<platform::Bitmap>> kept_;
  WindowHandle muted_ = nullptr;  // an edit box whose text the program sets
  WindowHandle unstoredSign_ = nullptr;
};

}  // namespace zoq::ui
