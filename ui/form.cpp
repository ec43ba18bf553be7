#include "ui/form.hpp"

#include "platform/code_pages.hpp"
#include "ui/image.hpp"

namespace zoq::ui {

namespace {

constexpr const char* kFace = "微软雅黑";
// Typed text is stored once the owner has paused this long.
constexpr unsigned kSaveTimer = 1, kSaveAfterMs = 1500;
constexpr int kKeyEnter = 13;

// The words that belong to a built-in picture, drawn with it.
const char* WordsOf(const Shown& picture) {
  if (!picture.builtIn) return nullptr;
  switch (*picture.builtIn) {
    case Picture::PicButtonOnPicture: return "全员可用";
    case Picture::PicButtonOffPicture: return "仅限主人";
    case Picture::ToggleNormal:
    case Picture::TogglePressed: return "切换";
    case Picture::OwnerHint: return "多个号码可用任意符号隔开";
    default: return nullptr;
  }
}

}  // namespace

Form::Form()
    : font_(platform::MakeFont(kFace, 14, false)),
      boldFont_(platform::MakeFont(kFace, 14, true)),
      smallFont_(platform::MakeFont(kFace, 12, false)),
      captionFont_(platform::MakeFont(kFace, 16, true)) {}

Form::~Form() = default;

WindowHandle Form::Control(const std::string& name) const {
  auto found = names_.find(name);
  return found == names_.end() ? nullptr : found->second;
}

std::optional<Picture> Form::ShownBuiltIn(WindowHandle control) const {
  auto found = looks_.find(control);
  return found == looks_.end() ? std::nullopt : found->second.normal.builtIn;
}

const platform::Bitmap* Form::ShownBitmap(WindowHandle control) const {
  auto found = looks_.find(control);
  return found == looks_.end() ? nullptr : found->second.normal.bitmap;
}

std::vector<PictureItem> Form::ItemsOf(WindowHandle control) const {
  auto found = looks_.find(control);
  return found == looks_.end() ? std::vector<PictureItem>{} : found->second.items;
}

Colour Form::TextColourOf(WindowHandle control) const {
  auto found = looks_.find(control);
  return found == looks_.end() ? kTextColour : found->second.text;
}

WindowHandle Form::Named(const std::string& name, WindowHandle control) {
  if (control && !name.empty()) names_[name] = control;
  if (control) looks_[control].behind = window_ && platform::ParentOf(control) == window_.get() ? kColumnColour : kPageColour;
  return control;
}

bool Form::Joined() {
  if (window_ && platform::JoinModalSession(window_.get())) return true;
  window_.reset();  // the windows are being closed: none opens now
  return false;
}

bool Form::CreateWindowOf(const platform::FormClass& windowClass, const std::string& title, int width, int height,
                          std::optional<Picture> background, WindowHandle owner) {
  class_ = &windowClass;
  window_ = windowClass.CreateTopLevel(title, width, height, *this, owner);
  if (!Joined()) return false;
  looks_[window_.get()].normal.builtIn = background;
  return true;
}

bool Form::CreateTopmostWindowOf(const platform::FormClass& windowClass, const std::string& title, int width,
                                 int height, Picture background, std::vector<Caption> captions) {
  class_ = &windowClass;
  window_ = windowClass.CreateTopmostTool(title, width, height, *this);
  if (!Joined()) return false;
  looks_[window_.get()].normal.builtIn = background;
  looks_[window_.get()].captions = std::move(captions);
  return true;
}

WindowHandle Form::Container(const std::string& name, int x, int y, int width, int height,
                             std::optional<Picture> background, std::vector<Caption> captions, WindowHandle parent) {
  WindowHandle box = class_->CreateContainer(parent ? parent : window_.get(), x, y, width, height, *this);
  if (!Named(name, box)) return nullptr;
  Look& look = looks_[box];
  look.normal.builtIn = background;
  look.captions = std::move(captions);
  return box;
}

WindowHandle Form::PictureButton(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                                 Shown normal, Shown pressed, Caption caption, Colour litCaption) {
  WindowHandle button = Named(name, platform::CreatePictureButton(parent, x, y, width, height));
  if (!button) return nullptr;
  ClickedByEnter(button);
  Look& look = looks_[button];
  look.normal = normal;
  look.pressed = pressed;
  if (caption.width == 0) caption.width = width, caption.height = height, caption.centred = true;
  look.caption = std::move(caption);
  look.litCaption = litCaption;
  return button;
}

WindowHandle Form::PictureBox(WindowHandle parent, const std::string& name, int x, int y, int width, int height) {
  return Named(name, platform::CreatePictureBox(parent, x, y, width, height));
}

WindowHandle Form::Edit(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                        platform::EditStyle style, bool bold) {
  WindowHandle edit = Named(name, platform::CreateEdit(parent, x, y, width, height, style));
  if (!edit) return nullptr;
  platform::SetFont(edit, bold ? boldFont_.get() : font_.get());
  looks_[edit].textOn = kEditBackground;
  return edit;
}

WindowHandle Form::ScrolledEdit(WindowHandle parent, const std::string& name, int x, int y, int width, int height) {
  WindowHandle edit = Edit(parent, name, x, y, width - kScrollBarWidth, height, {true, false}, false);
  if (edit) {
    Named(name + "滚动条", platform::CreateScrollBarFor(edit, x + width - kScrollBarWidth, y, kScrollBarWidth, height,
                                                      kEditBackground, kScrollThumbColour));
  }
  return edit;
}

WindowHandle Form::ReportList(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                              const platform::ListLook& look) {
  WindowHandle list = Named(name, platform::CreateReportList(parent, x, y, width, height, look));
  if (list) platform::SetFont(list, font_.get());
  return list;
}

WindowHandle Form::Button(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                          const std::string& caption) {
  WindowHandle button = Named(name, platform::CreateButton(parent, x, y, width, height, caption));
  if (!button) return nullptr;
  ClickedByEnter(button);
  platform::SetFont(button, font_.get());
  looks_[button].captioned = true;
  return button;
}

WindowHandle Form::Label(WindowHandle parent, const std::string& name, int x, int y, int width, int height,
                         const std::string& text, bool centred, Colour background) {
  WindowHandle label = Named(name, platform::CreateLabel(parent, x, y, width, height, text, centred));
  if (!label) return nullptr;
  platform::SetFont(label, font_.get());
  looks_[label].textOn = background;
  return label;
}

void Form::On(WindowHandle control, Notice notice, std::function<void()> handler) {
  if (control) handlers_[{control, notice}] = std::move(handler);
}

void Form::OnEdit(WindowHandle edit, EditHandler handler) {
  if (!edit) return;
  if (!edits_.count(edit)) editOrder_.push_back(edit);
  edits_[edit] = {std::move(handler)};
  On(edit, Notice::Changed, [this, edit] {
    Edited& e = edits_[edit];
    if (e.handler.apply) e.handler.apply(platform::WindowTextGbk(edit));
    e.unsaved = true;
    platform::StartTimer(handle(), kSaveTimer, kSaveAfterMs);  // again from now on
  });
}

void Form::SaveEdits() {
  if (handle()) platform::StopTimer(handle(), kSaveTimer);
  for (auto& [edit, e] : edits_) {
    if (!e.unsaved) continue;
    try {
      e.unsaved = e.refused = !e.handler.save(EditText(edit));
    } catch (...) {
      e.refused = true;
    }
  }
  ShowRefused();
}

std::vector<std::string> Form::UnstoredItems() const {
  std::vector<std::string> items;
  for (WindowHandle edit : editOrder_) {
    const auto found = edits_.find(edit);
    if (found != edits_.end() && found->second.refused) items.push_back(found->second.handler.item);
  }
  return items;
}

void Form::ShowRefused() {
  bool refused = false;
  for (const auto& [edit, e] : edits_) refused = refused || e.refused;
  // Tried again at the next pause, until it lands.
  if (refused && handle()) platform::StartTimer(handle(), kSaveTimer, kSaveAfterMs);
  platform::ShowWindowIf(unstoredSign_, refused);
}

void Form::OnTimer(WindowHandle, unsigned id) {
  if (id == kSaveTimer) SaveEdits();
}

void Form::ClickedByEnter(WindowHandle button) {
  // Reached by Tab, clicked by Space (the button's own key) or Enter.
  OnKey(button, [this, button](int key, bool) {
    if (key != kKeyEnter) return false;
    OnNotice(button, Notice::Click);
    return true;
  });
}

void Form::OnKey(WindowHandle control, std::function<bool(int, bool)> handler) {
  if (!control) return;
  if (!keyHandlers_.count(control) && !dropHandlers_.count(control)) platform::WatchKeys(control, *this, false);
  keyHandlers_[control] = std::move(handler);
}

void Form::OnDrop(WindowHandle control, DropHandler handler) {
  if (!control) return;
  platform::WatchKeys(control, *this, true);
  dropHandlers_[control] = std::move(handler);
}

void Form::SetTextColour(WindowHandle control, Colour colour) {
  auto found = looks_.find(control);
  if (found != looks_.end()) found->second.text = colour;
}

void Form::SetColours(WindowHandle control, Colour text, Colour background) {
  auto found = looks_.find(control);
  if (found == looks_.end()) return;
  found->second.text = text;
  found->second.textOn = background;
}

bool Form::OnKeyDown(WindowHandle control, int key, bool ctrlOnly) {
  auto found = keyHandlers_.find(control);
  if (found == keyHandlers_.end()) return false;
  try {
    std::function<bool(int, bool)> handler = found->second;
    return handler(key, ctrlOnly);
  } catch (...) {
    return false;
  }
}

void Form::OnFilesDropped(WindowHandle control, const std::vector<platform::DroppedFile>& files) {
  auto found = dropHandlers_.find(control);
  if (found == dropHandlers_.end()) return;
  try {
    DropHandler handler = found->second;
    handler(files);
  } catch (...) {
  }
}

void Form::SetPicture(WindowHandle control, Shown picture) {
  auto found = looks_.find(control);
  if (found == looks_.end()) return;
  found->second.normal = picture;
  platform::Redraw(control);
}

void Form::SetButtonCaption(WindowHandle control, const std::string& text, Colour colour) {
  auto found = looks_.find(control);
  if (found == looks_.end()) return;
  Caption& caption = found->second.caption;
  caption.text = text;
  caption.colour = found->second.litCaption = colour;
  caption.small = true;
  platform::Redraw(control);
}

void Form::AddItem(WindowHandle box, PictureItem item) {
  auto found = looks_.find(box);
  if (found == looks_.end()) return;
  found->second.items.push_back(item);
  platform::Redraw(box);
}

void Form::SetEditText(WindowHandle edit, const std::string& text) {
  muted_ = edit;
  platform::SetWindowTextGb18030(edit, text);
  muted_ = nullptr;
}

void Form::FillEdit(WindowHandle edit, const std::string& text, bool dropTyped) {
  auto found = edits_.find(edit);
  if (found != edits_.end() && found->second.unsaved && !dropTyped) return;
  SetEditText(edit, text);
  if (found == edits_.end()) return;
  Edited& e = found->second;
  if (e.handler.apply) e.handler.apply(platform::WideToGbk(platform::Gb18030ToWide(text)));
  e.unsaved = e.refused = !e.handler.save(text);
  ShowRefused();
}

const platform::Bitmap* Form::Keep(std::string_view bytes) {
  std::optional<platform::Pixels> pixels = DecodePicture(bytes);
  if (!pixels) return nullptr;
  auto bitmap = std::make_unique<platform::Bitmap>(*pixels);
  if (!*bitmap) return nullptr;
  kept_.push_back(std::move(bitmap));
  return kept_.back().get();
}

const platform::Bitmap& Form::BuiltIn(Picture picture) {
  auto found = builtIns_.find(picture);
  if (found != builtIns_.end()) return found->second;
  std::optional<platform::Pixels> pixels = DecodePicture(PictureData(picture));
  return builtIns_.emplace(picture, pixels ? platform::Bitmap(*pixels) : platform::Bitmap()).first->second;
}

void Form::OnNotice(WindowHandle control, Notice notice) {
  if (notice == Notice::Changed && control == muted_) return;
  if (notice == Notice::FocusLost && edits_.count(control)) SaveEdits();
  auto found = handlers_.find({control, notice});
  if (found == handlers_.end()) return;
  // A handler's failure stays here: nothing may unwind through the window
  // procedure.
  try {
    std::function<void()> handler = found->second;
    handler();
  } catch (...) {
  }
}

void Form::Draw(platform::Painter& painter, const Shown& picture, int x, int y, int width, int height) {
  if (picture.bitmap) {
    painter.Draw(*picture.bitmap, x, y, width, height);
  } else if (picture.builtIn) {
    painter.Draw(BuiltIn(*picture.builtIn), x, y, width, height);
  }
}

void Form::DrawCaption(platform::Painter& painter, const Caption& caption, int dx, int dy, Colour colour) {
  if (caption.text.empty()) return;
  painter.Text(caption.text, caption.x + dx, caption.y + dy, caption.width, caption.height, colour,
               caption.small ? smallFont_.get() : captionFont_.get(), caption.centred);
}

void Form::OnPaintControl(WindowHandle control, platform::Painter& painter, int width, int height, bool pressed) {
  auto found = looks_.find(control);
  if (found == looks_.end()) return;
  const Look& look = found->second;
  if (look.captioned) return DrawCaptionedButton(control, painter, width, height, pressed);
  const bool lit = (pressed || !platform::IsEnabled(control)) && (look.pressed.builtIn || look.pressed.bitmap);
  painter.Fill(0, 0, width, height, look.behind);
  const Shown& shown = lit ? look.pressed : look.normal;
  Draw(painter, shown, 0, 0, width, height);
  if (const char* words = WordsOf(shown)) painter.Text(words, 0, 0, width, height, 0xFFFFFF, smallFont_.get(), true);
  for (const PictureItem& item : look.items) {
    const platform::Bitmap* bitmap = item.picture.bitmap;
    if (!bitmap && item.picture.builtIn) bitmap = &BuiltIn(*item.picture.builtIn);
    if (!bitmap || !*bitmap) continue;
    painter.Draw(*bitmap, item.x, item.y, bitmap->width() * item.scaleX / 1000, bitmap->height() * item.scaleY / 1000);
  }
  DrawCaption(painter, look.caption, pressed ? 1 : 0, pressed ? 1 : 0, lit ? look.litCaption : look.caption.colour);
  // The button the keyboard reaches (Tab) shows that it has the focus.
  if (platform::FocusedWindow() == control) painter.Frame(0, 0, width, height, kAccentColour);
}

void Form::DrawCaptionedButton(WindowHandle button, platform::Painter& painter, int width, int height, bool pressed) {
  const bool enabled = platform::IsEnabled(button);
  const bool focused = platform::FocusedWindow() == button;
  const Colour frame = pressed || focused ? kAccentColour : kButtonFrameColour;
  painter.Fill(0, 0, width, height, frame);
  painter.Fill(1, 1, width - 2, height - 2, pressed ? kButtonPressedColour : kEditBackground);
  painter.Text(platform::WindowTextGbk(button), 0, 0, width, height, enabled ? kTextColour : kDimTextColour,
               font_.get(), true);
}

void Form::OnPaintBackground(WindowHandle window, platform::Painter& painter, int width, int height) {
  auto found = looks_.find(window);
  painter.Fill(0, 0, width, height, kPageColour);
  if (found == looks_.end()) return;
  // At its own size: the window's picture is wider than the window.
  const Shown& picture = found->second.normal;
  const platform::Bitmap* bitmap = picture.bitmap;
  if (!bitmap && picture.builtIn) bitmap = &BuiltIn(*picture.builtIn);
  if (bitmap) painter.Draw(*bitmap, 0, 0, bitmap->width(), bitmap->height());
  for (const Caption& caption : found->second.captions) DrawCaption(painter, caption, 0, 0, caption.colour);
}

bool Form::ColoursOf(WindowHandle control, Colour& text, Colour& background) {
  auto found = looks_.find(control);
  if (found == looks_.end() || !found->second.textOn) return false;
  text = found->second.text;
  background = *found->second.textOn;
  return true;
}

void Form::OnDestroyed(WindowHandle window) {
  if (window != window_.get()) return;
  // Closing, shutting down or unloading: what the owner typed is kept.
  SaveEdits();
  window_.release();
  Closed();
}

}  // namespace zoq::ui
