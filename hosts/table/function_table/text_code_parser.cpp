#include "hosts/table/function_table/text_code_parser.hpp"

#include <cstring>
#include <utility>

#include "hosts/call/host_call.hpp"
#include "platform/modules.hpp"

namespace zoq {
namespace {

using Word = hosts::Word;

template <class T>
T* At(Word address) {
  return platform::AtWord<T>(address);
}
template <class T>
Word WordOf(T* p) {
  return platform::WordOf(p);
}

Word NewBlock(const void* list) {
  auto* block = static_cast<Word*>(platform::NewProcessHeapBlock(sizeof(Word)));
  if (block) *block = WordOf(list);
  return WordOf(block);
}

// The plug-in's own operations.
Word __stdcall OwnDestroy(Word*) { return 0; }
Word __stdcall OwnCopy(Word* variable);
Word __stdcall OwnTwoWords(Word*, Word, Word) { return 0; }
Word __stdcall OwnCopyText(Word*, Word text) {
  if (!text) return 0;
  const std::size_t n = std::strlen(At<const char>(text)) + 1;
  void* copy = platform::NewProcessHeapBlock(n);
  if (copy) std::memcpy(copy, At<const char>(text), n);
  return WordOf(copy);
}
Word __stdcall OwnOneWord(Word*, Word) { return 0; }

const void* const kOwnList[] = {
    reinterpret_cast<const void*>(&OwnDestroy),  reinterpret_cast<const void*>(&OwnCopy),
    reinterpret_cast<const void*>(&OwnTwoWords), reinterpret_cast<const void*>(&OwnTwoWords),
    reinterpret_cast<const void*>(&OwnTwoWords), reinterpret_cast<const void*>(&OwnTwoWords),
    reinterpret_cast<const void*>(&OwnCopyText), reinterpret_cast<const void*>(&OwnOneWord),
};

Word __stdcall OwnCopy(Word* variable) { return NewBlock(variable && *variable ? *At<const void*>(*variable) : kOwnList); }

enum : int { kDestroy, kCopy, kThird, kFourth, kFifth, kSixth, kSeventh, kEighth };

}  // namespace

NullTextCodeParser::NullTextCodeParser() : block_(NewBlock(kOwnList)) {}

NullTextCodeParser::NullTextCodeParser(const NullTextCodeParser& other) : block_(other.Call(kCopy, {})) {}

NullTextCodeParser::NullTextCodeParser(NullTextCodeParser&& other) noexcept : block_(std::exchange(other.block_, 0)) {}

NullTextCodeParser& NullTextCodeParser::operator=(NullTextCodeParser other) noexcept {
  std::swap(block_, other.block_);
  return *this;
}

NullTextCodeParser::~NullTextCodeParser() {
  if (!block_) return;
  Call(kDestroy, {});
  platform::FreeProcessHeapBlock(At<void>(block_));
}

bool NullTextCodeParser::IsOwn() const { return block_ && *At<const void*>(block_) == static_cast<const void*>(kOwnList); }

Word NullTextCodeParser::Call(int operation, std::initializer_list<Word> arguments) const {
  if (!block_) return 0;
  void* function = At<void*>(*At<Word>(block_))[operation];
  hosts::WordList words;
  words.PushAddress(&block_);
  for (Word w : arguments) words.Push(w);
  platform::StdcallOutcome out;
  return function && hosts::CallHost(function, words, out) ? out.low : 0;
}

std::string NullTextCodeParser::TextOf(Word answer) const {
  if (!answer) return {};
  std::string text(At<const char>(answer));
  platform::FreeProcessHeapBlock(At<void>(answer));
  return text;
}

std::int32_t NullTextCodeParser::Third(Word a, Word b) const { return static_cast<std::int32_t>(Call(kThird, {a, b})); }
std::string NullTextCodeParser::Fourth(Word a, Word b) const { return TextOf(Call(kFourth, {a, b})); }
std::int32_t NullTextCodeParser::Fifth(Word a, Word b) const { return static_cast<std::int32_t>(Call(kFifth, {a, b})); }
std::int32_t NullTextCodeParser::Sixth(Word a, Word b) const { return static_cast<std::int32_t>(Call(kSixth, {a, b})); }
std::string NullTextCodeParser::Seventh(const std::string& text) const { return TextOf(Call(kSeventh, {WordOf(text.c_str())})); }
std::string NullTextCodeParser::Eighth(Word a) const { return TextOf(Call(kEighth, {a})); }

}  // namespace zoq
