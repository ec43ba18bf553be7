// Drawing on a window while it paints, in solid brushes kept while a form
// class is registered.
#include "platform/gui_parts.hpp"
#include "platform/code_pages.hpp"

#include <map>
#include <mutex>
#include <type_traits>

namespace zoq::platform {

static_assert(std::is_same_v<DeviceContext, HDC>);

namespace {

std::mutex brushLock;
std::map<Colour, HBRUSH>& Brushes() {
  static std::map<Colour, HBRUSH> brushes;
  return brushes;
}
int formClasses = 0;

}  // namespace

HBRUSH BrushOf(Colour c) {
  std::lock_guard<std::mutex> lock(brushLock);
  HBRUSH& brush = Brushes()[c];
  if (!brush) brush = CreateSolidBrush(Ref(c));
  return brush;
}

void KeepBrushes() {
  std::lock_guard<std::mutex> lock(brushLock);
  ++formClasses;
}

void ReleaseBrushes() {
  std::lock_guard<std::mutex> lock(brushLock);
  if (--formClasses == 0) {
    for (auto& [colour, brush] : Brushes()) DeleteObject(brush);
    Brushes().clear();
  }
}

Colour Blend(Colour a, Colour b, int percentOfB) {
  Colour out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int x = (a >> shift) & 0xFF, y = (b >> shift) & 0xFF;
    out |= static_cast<Colour>(x + (y - x) * percentOfB / 100) << shift;
  }
  return out;
}

void Painter::Fill(int x, int y, int w, int h, Colour colour) {
  RECT r{x, y, x + w, y + h};
  FillRect(dc_, &r, BrushOf(colour));
}

void Painter::Frame(int x, int y, int w, int h, Colour colour) {
  Fill(x, y, w, 1, colour), Fill(x, y + h - 1, w, 1, colour);
  Fill(x, y, 1, h, colour), Fill(x + w - 1, y, 1, h, colour);
}

void Painter::Draw(const Bitmap& bitmap, int x, int y, int w, int h) {
  if (!bitmap || w <= 0 || h <= 0) return;
  HDC memory = CreateCompatibleDC(dc_);
  HGDIOBJ old = SelectObject(memory, bitmap.get());
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  SetStretchBltMode(dc_, HALFTONE);
  GdiAlphaBlend(dc_, x, y, w, h, memory, 0, 0, bitmap.width(), bitmap.height(), blend);
  SelectObject(memory, old);
  DeleteDC(memory);
}

void Painter::Text(const std::string& textGbk, int x, int y, int w, int h, Colour colour, FontHandle font,
                   bool centred) {
  const std::wstring text = GbkToWide(textGbk);
  RECT r{x, y, x + w, y + h};
  SetBkMode(dc_, TRANSPARENT);
  SetTextColor(dc_, Ref(colour));
  HGDIOBJ old = font ? SelectObject(dc_, font) : nullptr;
  DrawTextW(dc_, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (centred ? DT_CENTER : DT_LEFT));
  if (old) SelectObject(dc_, old);
}

}  // namespace zoq::platform
