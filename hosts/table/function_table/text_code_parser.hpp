// The function-table host's text-code parser, an object of the host's own
// object model: a block of the process heap whose first word is the address
// of its class's operation list (Destroy, Copy, then six operations of the
// host's). The object variable is the word that holds the block's address.
//
// Calling assumption, for the host's objects as for the plug-in's own: every
// operation is a stdcall function that receives the address of the object
// variable first, then its arguments; Copy answers the address of a new
// block (of the process heap) that Destroy empties and its holder frees;
// texts are answered as addresses of NUL-terminated texts in blocks of the
// process heap that the caller frees (0 for the empty text).
#pragma once
#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/stdcall.hpp"

namespace zoq {

class NullTextCodeParser {
 public:
  using Word = platform::HostWord;

  // A parser of the plug-in's own, whose operations answer 0 or the empty
  // text (the seventh a copy of its text).
  NullTextCodeParser();
  // A new object made by the Copy operation of `other`'s class.
  NullTextCodeParser(const NullTextCodeParser& other);
  NullTextCodeParser(NullTextCodeParser&& other) noexcept;
  NullTextCodeParser& operator=(NullTextCodeParser other) noexcept;
  // Destroy of its own class, then the block goes back to the process heap.
  ~NullTextCodeParser();

  // The object variable (for exchanging an object with the host's).
  Word& variable() { return block_; }
  // Whether the object runs the plug-in's own operations.
  bool IsOwn() const;

  std::int32_t Third(Word a, Word b) const;
  std::string Fourth(Word a, Word b) const;
  std::int32_t Fifth(Word a, Word b) const;
  std::int32_t Sixth(Word a, Word b) const;
  std::string Seventh(const std::string& text) const;
  std::string Eighth(Word a) const;

 private:
  Word Call(int operation, std::initializer_list<Word> arguments) const;
  std::string TextOf(Word answer) const;
  mutable Word block_ = 0;
};

}  // namespace zoq
