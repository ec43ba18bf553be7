// What a host hands back to the plug-in, read within what the host really
// allocated: byte sets and text blocks whose length words claim more, blocks
// that are not the process heap's, and the text-code parser object, which is
// never absent.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "hosts/adapters.hpp"
#include "tests/hosts/host_test_support.hpp"

namespace zoq::testing {
namespace {

using hosts::Word;
Word WordOf(const void* p) { return platform::WordOf(p); }

// A block of `size` bytes holding the length word and then `bytes`: of the
// process heap, or one of the host's own.
Word Block(std::size_t header, std::int32_t length, const std::string& bytes, bool onHeap) {
  static char own[64];
  char* block = onHeap ? static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, header + bytes.size())) : own;
  std::memset(block, 0, header);
  if (header == 8) block[0] = 1;
  std::memcpy(block + header - 4, &length, 4);
  std::memcpy(block + header, bytes.data(), bytes.size());
  return WordOf(block);
}

// The host's QR-code function as a test sets it up: it stores this byte set.
struct Stored {
  std::int32_t length;
  std::string bytes;
  bool onHeap;
} g_stored;
const char* __stdcall StoreQrCode(const char*, std::int64_t, Word* variable) {
  *variable = Block(8, g_stored.length, g_stored.bytes, g_stored.onHeap);
  return "ok";
}

// The text the host's plug-in-list function returns as a test sets it up.
const char* g_returned = nullptr;
const char* __stdcall ReturnText(const char*) { return g_returned; }

// A block of the process heap of exactly `bytes`, cut from a larger one of
// "x": no NUL follows before the block's end, nor for a while after it.
char* Unterminated(const std::string& bytes) {
  auto* block = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, 256));
  std::memset(block, 'x', 256);
  std::memcpy(block, bytes.data(), bytes.size());
  HeapReAlloc(GetProcessHeap(), HEAP_REALLOC_IN_PLACE_ONLY, block, bytes.size());
  return block;
}

// Whether the process heap holds a live block of that address and size.
bool Live(Word address, std::size_t size) {
  bool live = false;
  HANDLE heap = GetProcessHeap();
  HeapLock(heap);
  PROCESS_HEAP_ENTRY entry{};
  while (HeapWalk(heap, &entry))
    live = live || ((entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) && entry.cbData == size && WordOf(entry.lpData) == address);
  HeapUnlock(heap);
  return live;
}

class HostAnswersTest : public AdapterTest<TableHostApi> {
 protected:
  HostAnswersTest() : AdapterTest("tablehost.dll") { api_.InitApiTable("KEY", ApiTableOf(fake_)); }
};

// Mended: the length word was taken as it stood: 0x7FFFFFF0 threw
// std::bad_alloc out of the operation, 100,000 read past an 11-byte block;
// a text returned without its NUL was read past its block.
TEST_F(HostAnswersTest, ByteSetsAndTextBlocksAreReadWithinTheBlockTheHostAllocated) {
  api_.InitApiTable("KEY", "{\"QQ列表_二维码登录_拉取二维码\":" + std::to_string(reinterpret_cast<std::uintptr_t>(&StoreQrCode)) +
                               ",\"取框架插件列表\":" + std::to_string(reinterpret_cast<std::uintptr_t>(&ReturnText)) + "}");
  const struct {
    Stored stored;
    std::string bytes;
  } byteSets[] = {
      {{3, "PNG", true}, "PNG"},
      {{100000, "hello world", true}, "hello world"},
      {{0x7FFFFFF0, "x", true}, "x"},
      {{3, "PNG", false}, ""},  // no block of the process heap: nothing read, nothing freed
  };
  for (const auto& c : byteSets) {
    g_stored = c.stored;
    hosts::HostBytes code;
    code.Hold("old");
    EXPECT_EQ(api_.QQ列表_二维码登录_拉取二维码(1, &code), "ok");
    EXPECT_EQ(code.bytes(), c.bytes) << c.stored.length;
  }
  // The text blocks of the XQ host: a length word, the text up to its first NUL.
  const struct {
    std::int32_t length;
    std::string bytes;
    bool onHeap;
    std::string text;
  } blocks[] = {
      {5, std::string("ab\0cd", 5), true, "ab"}, {3, "xyzzy", true, "xyz"}, {0, "ab", true, ""},
      {-4, "ab", true, ""},                      {100000, "ab", true, "ab"}, {2, "ab", false, ""},
  };
  for (const auto& b : blocks) {
    const Word block = Block(4, b.length, b.bytes, b.onHeap);
    EXPECT_EQ(hosts::ReadHostText(block), b.text);
    EXPECT_FALSE(Live(block, 4 + b.bytes.size()));  // freed, also when the text is dropped
  }
  EXPECT_EQ(hosts::ReadHostText(0), "");
  // Returned texts: within their block where it is the process heap's, else up to the NUL.
  static const char kOwn[] = "own";
  const struct {
    const char* returned;
    std::string text;
  } texts[] = {{Unterminated("abc"), "abc"}, {Unterminated(std::string("ab\0cd", 5)), "ab"}, {kOwn, "own"}, {nullptr, ""}};
  for (const auto& t : texts) {
    g_returned = t.returned;
    EXPECT_EQ(api_.取框架插件列表(), t.text);
    if (t.returned != kOwn) HeapFree(GetProcessHeap(), 0, const_cast<char*>(t.returned));
  }
}

// A list the host handed over goes with every block its records' layout
// names (texts, and the blocks of an array inside a record), also when the
// next call finds no host function.
TEST_F(HostAnswersTest, AListGoesWithEveryBlockItsLayoutNames) {
  std::vector<std::pair<Word, std::size_t>> blocks;  // odd sizes: told from later blocks
  const auto block = [&](std::size_t size) {
    void* p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
    blocks.emplace_back(WordOf(p), size);
    return WordOf(p);
  };
  // An array block: 1, the count, the addresses of the items.
  const auto array = [&](std::size_t size, Word first, Word second) {
    const Word a = block(size);
    const std::uint32_t header[2] = {1, 2};
    std::memcpy(platform::AtWord(a), header, 8);
    std::memcpy(platform::AtWord<char>(a) + 8, &first, sizeof first);
    std::memcpy(platform::AtWord<char>(a) + 8 + sizeof first, &second, sizeof second);
    return a;
  };
  // A record's members lie at the layout's offsets of the 32-bit record,
  // each 32 bits a word where words are wider.
  const auto put = [](Word at, std::size_t offset, Word value) {
    std::memcpy(platform::AtWord<char>(at) + offset * (sizeof(Word) / 4), &value, sizeof value);
  };
  Word records[2];
  for (std::uint32_t r = 0; r < 2; ++r) {
    records[r] = block(1003 + 2 * r);
    for (std::uint16_t offset : FriendInfo::kTexts) put(records[r], offset, block(1011 + offset + 100 * r));
    put(records[r], FriendInfo::kBlockArray, array(1005 + 2 * r, block(1201 + 4 * r), block(1203 + 4 * r)));
  }
  hosts::HostArray<FriendInfo> friends;
  hosts::FreeHostArray(friends.address(), nullptr, 0, -1);  // what a host does: it stores its own array
  const Word list = array(1001, records[0], records[1]);
  std::memcpy(static_cast<void*>(&friends), &list, sizeof list);
  ASSERT_EQ(friends.size(), 2u);
  api_.InitApiTable("KEY", "{}");
  EXPECT_EQ(api_.取好友列表(1, &friends), 0);
  for (const auto& [address, size] : blocks) EXPECT_FALSE(Live(address, size)) << size;
  EXPECT_EQ(friends.size(), 0u);
  EXPECT_NE(friends.address(), 0u);
}

// A parser of the host's: its own operation list, with the variable's
// address first (see text_code_parser.hpp).
struct FakeHostParser {
  static inline int copies = 0, destroyed = 0;
  static Word __stdcall Destroy(Word*) { return ++destroyed, 0; }
  static Word __stdcall Copy(Word* variable) {
    ++copies;
    auto* block = static_cast<Word*>(HeapAlloc(GetProcessHeap(), 0, 2 * sizeof(Word)));
    block[0] = platform::AtWord<const Word>(*variable)[0];
    block[1] = 77;
    return WordOf(block);
  }
  static Word __stdcall Third(Word* variable, Word a, Word b) { return platform::AtWord<const Word>(*variable)[1] + a + b; }
  static Word __stdcall Unused() { return 0; }
  static inline const void* list[8] = {reinterpret_cast<const void*>(&Destroy), reinterpret_cast<const void*>(&Copy),
                                       reinterpret_cast<const void*>(&Third),   reinterpret_cast<const void*>(&Unused),
                                       reinterpret_cast<const void*>(&Unused),  reinterpret_cast<const void*>(&Unused),
                                       reinterpret_cast<const void*>(&Unused),  reinterpret_cast<const void*>(&Unused)};
  Word block[2] = {WordOf(list), 5};
  Word variable = WordOf(block);
  FakeHostParser() { copies = destroyed = 0; }  // counted per object: tests may run again in one process
};

// The parser comes from the host's own Copy, and the host keeps its object;
// without a host object it is the plug-in's own, never absent. Mended: a
// host that answered a variable holding 0 gave an object without a block.
TEST_F(HostAnswersTest, TheTextCodeParserIsTheHostsCopyOrThePluginsOwn) {
  Word none = 0;
  for (const std::string& answer : {std::string("0"), std::string("-1"), std::to_string(WordOf(&none))}) {
    fake_.SetAnswer("创建小栗子文本代码解析类对象", answer);
    const NullTextCodeParser parser = api_.创建小栗子文本代码解析类对象();
    EXPECT_TRUE(parser.IsOwn()) << answer;
    EXPECT_EQ(std::make_tuple(parser.Third(1, 2), parser.Fourth(1, 2), parser.Seventh("abc"), parser.Eighth(1)),
              std::make_tuple(0, "", "abc", ""));
  }
  EXPECT_EQ(none, 0u);
  FakeHostParser host;
  const Word hostObject = host.variable;
  fake_.SetAnswer("创建小栗子文本代码解析类对象", std::to_string(WordOf(&host.variable)));
  {
    NullTextCodeParser first = api_.创建小栗子文本代码解析类对象();
    NullTextCodeParser second = api_.创建小栗子文本代码解析类对象();
    EXPECT_EQ(host.variable, hostObject);  // the very object, not a copy
    EXPECT_FALSE(first.IsOwn());
    EXPECT_EQ(first.Third(1, 2), 80);  // answered by the host's operation on a copy of its object
    EXPECT_NE(first.variable(), second.variable());
    EXPECT_NE(first.variable(), hostObject);
    EXPECT_EQ(FakeHostParser::copies, 4);     // each call: the holder's copy, then the answer's
    EXPECT_EQ(FakeHostParser::destroyed, 2);  // each call: the intermediate copy
  }
  EXPECT_EQ(FakeHostParser::destroyed, 4);
  EXPECT_EQ(host.block[1], 5u);
  api_.InitApiTable("KEY", "{}");
  EXPECT_TRUE(api_.创建小栗子文本代码解析类对象().IsOwn());
}

}  // namespace
}  // namespace zoq::testing
