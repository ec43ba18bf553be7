#include "platform/window.hpp"

#include "platform/code_pages.hpp"
#include "platform/modules.hpp"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

namespace zoq::platform {

static_assert(std::is_same_v<WindowHandle, HWND> && std::is_same_v<FontHandle, HFONT> &&
              std::is_same_v<ModuleHandle, HMODULE>);

namespace {

std::wstring Wide(const std::string& gbk) { return GbkToWide(gbk); }
std::string Gbk(const wchar_t* text, int length) {
  return length > 0 ? WideToGbk(std::wstring_view(text, static_cast<std::size_t>(length))) : std::string();
}

std::mutex hookLock;
MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

// The running modal session. Its handles go with the last one who holds
// them: a thread may still wait on them after the session has ended.
struct SessionHandles {
  HANDLE ended = nullptr;   // set when the session ends
  HANDLE thread = nullptr;  // the session's thread, signalled when it ends
  ~SessionHandles() {
    if (ended) CloseHandle(ended);
    if (thread) CloseHandle(thread);
  }
};
struct Session {
  DWORD thread = 0;
  std::shared_ptr<SessionHandles> handles;
  std::vector<HWND> windows;  // oldest first
  bool closing = false;
};
std::mutex sessionLock;
std::optional<Session>& Running() {
  static std::optional<Session> session;
  return session;
}

// Waits for the session's end or its thread's, handling what is sent to this
// thread's windows meanwhile.
void AwaitSessionEnd(const SessionHandles& session, unsigned waitMs) {
  HANDLE handles[2];
  DWORD count = 0;
  for (HANDLE h : {session.ended, session.thread}) {
    if (h) handles[count++] = h;
  }
  if (count == 0) return;
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= waitMs) return;
    if (MsgWaitForMultipleObjects(count, handles, FALSE, waitMs - spent, QS_SENDMESSAGE) != WAIT_OBJECT_0 + count) {
      return;  // ended, out of time, or failed
    }
    MSG sent;
    PeekMessageW(&sent, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

}  // namespace

UniqueWindow& UniqueWindow::operator=(UniqueWindow&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

WindowHandle UniqueWindow::release() noexcept { return std::exchange(window_, nullptr); }

void UniqueWindow::reset(WindowHandle window) noexcept {
  const HWND old = std::exchange(window_, window);
  if (old && old != window && IsWindow(old)) DestroyWindow(old);
}

UniqueFont& UniqueFont::operator=(UniqueFont&& other) noexcept {
  if (this != &other) reset(other.release());
  return *this;
}

FontHandle UniqueFont::release() noexcept { return std::exchange(font_, nullptr); }

void UniqueFont::reset(FontHandle font) noexcept {
  const HFONT old = std::exchange(font_, font);
  if (old && old != font) DeleteObject(old);
}

UniqueFont MakeFont(const std::string& faceGbk, int heightPx, bool bold) {
  const std::wstring face = Wide(faceGbk);
  return UniqueFont(CreateFontW(heightPx, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                                OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                DEFAULT_PITCH | FF_DONTCARE, face.c_str()));
}

bool SetWindowTextGbk(WindowHandle window, const std::string& textGbk) {
  return SetWindowTextW(window, Wide(textGbk).c_str()) != 0;
}

namespace {

std::wstring WideWindowText(WindowHandle window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return {};
  std::wstring buffer(length + 1, L'\0');
  buffer.resize(std::max(0, GetWindowTextW(window, buffer.data(), length + 1)));
  return buffer;
}

}  // namespace

std::string WindowTextGbk(WindowHandle window) {
  const std::wstring text = WideWindowText(window);
  return Gbk(text.data(), static_cast<int>(text.size()));
}

void SetWindowTextGb18030(WindowHandle window, const std::string& textGb18030) {
  SetWindowTextW(window, Gb18030ToWide(textGb18030).c_str());
}

std::string WindowTextGb18030(WindowHandle window) { return WideToGb18030(WideWindowText(window)); }

void EnableWindowIf(WindowHandle window, bool condition) { EnableWindow(window, condition ? TRUE : FALSE); }

void ShowWindowIf(WindowHandle window, bool condition) { ShowWindow(window, condition ? SW_SHOW : SW_HIDE); }

bool ListView::AddColumn(int index, const std::string& captionGbk, int widthPx) {
  std::wstring caption = Wide(captionGbk);
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  column.pszText = caption.data();
  column.cx = widthPx;
  column.iSubItem = index;
  return SendMessageW(window_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) >= 0;
}

void ListView::SetRowCount(int rows) {
  Select(-1);
  SendMessageW(window_, LVM_SETITEMCOUNT, rows, 0);
  InvalidateRect(window_, nullptr, TRUE);
}

std::string ListView::Cell(int row, int column) const {
  // The control says how many characters it copied, not how many the cell
  // holds: a buffer it fills up may have cut the text, so grow and ask again.
  std::wstring buffer(128, L'\0');
  for (;;) {
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = static_cast<int>(buffer.size());
    const int got = static_cast<int>(SendMessageW(window_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
    if (got < static_cast<int>(buffer.size()) - 1 || buffer.size() >= (1u << 20)) return Gbk(buffer.data(), got);
    buffer.assign(buffer.size() * 2, L'\0');
  }
}

int ListView::RowCount() const { return static_cast<int>(SendMessageW(window_, LVM_GETITEMCOUNT, 0, 0)); }

int ListView::SelectedRow() const {
  return static_cast<int>(SendMessageW(window_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ListView::Select(int row) {
  LVITEMW item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = 0;
  SendMessageW(window_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
  if (row < 0) return;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageW(window_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  SendMessageW(window_, LVM_ENSUREVISIBLE, row, FALSE);
}


ModalSession::ModalSession() {
  std::lock_guard<std::mutex> lock(sessionLock);
  if (Running()) return;
  auto handles = std::make_shared<SessionHandles>();
  handles->ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &handles->thread, SYNCHRONIZE,
                       FALSE, 0)) {
    handles->thread = nullptr;
  }
  Running() = Session{GetCurrentThreadId(), std::move(handles), {}, false};
  begun_ = true;
}

ModalSession::~ModalSession() {
  if (!begun_) return;
  std::shared_ptr<SessionHandles> handles;
  {
    std::lock_guard<std::mutex> lock(sessionLock);
    handles = std::move(Running()->handles);
    Running().reset();
  }
  if (handles->ended) SetEvent(handles->ended);
}

bool JoinModalSession(WindowHandle window) {
  std::lock_guard<std::mutex> lock(sessionLock);
  std::optional<Session>& session = Running();
  if (!session || session->thread != GetCurrentThreadId()) return true;
  if (session->closing) return false;
  std::erase_if(session->windows, [](HWND w) { return !IsWindow(w); });
  session->windows.push_back(window);
  return true;
}

void FrontModalSession() {
  HWND newest = nullptr;
  {
    std::lock_guard<std::mutex> lock(sessionLock);
    if (Running() && !Running()->windows.empty()) newest = Running()->windows.back();
  }
  if (!newest || !IsWindow(newest)) return;
  if (IsIconic(newest)) ShowWindowAsync(newest, SW_RESTORE);
  SetForegroundWindow(newest);
}

void CloseModalSession(unsigned waitMs) {
  std::vector<HWND> windows;
  std::shared_ptr<SessionHandles> handles;
  DWORD thread = 0;
  {
    std::lock_guard<std::mutex> lock(sessionLock);
    std::optional<Session>& session = Running();
    if (!session) return;
    session->closing = true;  // no window joins it from now on
    windows = session->windows;
    handles = session->handles;
    thread = session->thread;
  }
  const bool own = thread == GetCurrentThreadId();
  for (auto w = windows.rbegin(); w != windows.rend(); ++w) {
    if (!IsWindow(*w)) continue;
    if (own) {
      DestroyWindow(*w);
    } else if (GetWindowThreadProcessId(*w, nullptr) == thread) {
      PostMessageW(*w, WM_CLOSE, 0, 0);
    }
  }
  if (!own) AwaitSessionEnd(*handles, waitMs);
}

bool ModalSessionClosing() {
  std::lock_guard<std::mutex> lock(sessionLock);
  const std::optional<Session>& session = Running();
  return session && session->thread == GetCurrentThreadId() && session->closing;
}

void SetMessageBoxHook(MessageBoxHook hook) {
  std::lock_guard<std::mutex> lock(hookLock);
  Hook() = std::move(hook);
}

namespace {
// The box with `text` read by `wide`.
int ShowBox(WindowHandle owner, const std::string& text, std::wstring (*wide)(std::string_view),
            const std::string& titleGbk, unsigned flags) {
  MessageBoxHook hook;
  {
    std::lock_guard<std::mutex> lock(hookLock);
    hook = Hook();
  }
  if (hook) return hook(text, titleGbk, flags);
  return MessageBoxW(owner, wide(text).c_str(), Wide(titleGbk).c_str(), flags);
}
}  // namespace

int ShowMessageBox(WindowHandle owner, const std::string& textGbk, const std::string& titleGbk, unsigned flags) {
  return ShowBox(owner, textGbk, GbkToWide, titleGbk, flags);
}

void ShowWarning(WindowHandle owner, const std::string& textGb18030, const std::string& titleGbk) {
  ShowBox(owner, textGb18030, Gb18030ToWide, titleGbk, MB_OK | MB_ICONWARNING);
}

bool AskYesNo(WindowHandle owner, const std::string& textGbk, const std::string& titleGbk) {
  return ShowMessageBox(owner, textGbk, titleGbk, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

void ShowTaskModalBox(const std::string& textGbk, const std::string& titleGbk, bool exclamation) {
  PinOwnModule();
  ShowMessageBox(nullptr, textGbk, titleGbk, MB_OK | MB_TASKMODAL | (exclamation ? MB_ICONEXCLAMATION : 0));
}

ActivationContext::ActivationContext(ModuleHandle module) noexcept {
  // The module's path goes with its handle: lpSource names the image the
  // manifest resource is read from.
  wchar_t path[MAX_PATH] = {};
  const DWORD pathLength = GetModuleFileNameW(module, path, MAX_PATH);
  ACTCTXW request{};
  request.cbSize = sizeof request;
  request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.hModule = module;
  request.lpResourceName = MAKEINTRESOURCEW(2);
  request.lpSource = pathLength > 0 && pathLength < MAX_PATH ? path : nullptr;
  const HANDLE context = CreateActCtxW(&request);
  if (context == INVALID_HANDLE_VALUE) return;
  ULONG_PTR cookie = 0;
  if (!ActivateActCtx(context, &cookie)) {
    ReleaseActCtx(context);
    return;
  }
  context_ = context;
  cookie_ = cookie;
  active_ = true;
}

ActivationContext::~ActivationContext() {
  if (!active_) return;
  DeactivateActCtx(0, cookie_);
  ReleaseActCtx(context_);
}

}  // namespace zoq::platform
