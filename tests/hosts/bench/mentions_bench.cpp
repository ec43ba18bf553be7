// Mention lists read from braces nested n, 2n and 4n deep (each entry overlaps
// all after it): the times double with the text when they are linear in it.
#include <windows.h>

#include <cstdio>

#include "hosts/adapters.hpp"

int main() {
  for (const int n : {64000, 128000, 256000}) {
    const std::string text = "\"atuserlist\":[{" + std::string(n, '{') + "\"wxid\":\"w\"}]";
    const ULONGLONG start = GetTickCount64();
    std::vector<zoq::WxAtUserItem> items;
    zoq::WxHostApi::ParseAtUserList(text, items);
    zoq::WxHostApi::ParseAtList(text);
    std::printf("%6d braces: %u entries, %llu ms\n", n, static_cast<unsigned>(items.size()), GetTickCount64() - start);
  }
}
