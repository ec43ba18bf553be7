// The adapter of the host that hands over its API as a JSON table of
// function addresses, with a plug-in key that goes first to every function.
// Each host function is looked up in the kept table again at every call.
// (The operations the plug-in core calls; the rest come with the host's own
// work.)
#pragma once
#include <cstdint>
#include <string>

#include "hosts/call/host_call.hpp"

namespace zoq {

class TableHostApi {
 public:
  // Replaces the kept key and table (an empty text is kept as empty).
  void InitApiTable(const std::string& key, const std::string& table) {
    binding_.pluginKey = key;
    binding_.apiTable = table;
  }
  // The address the table gives the host function `name`; 0 when none.
  std::uint32_t LookupApiAddress(const std::string& name) const { return binding_.Lookup(name); }

 private:
  struct Binding {
    std::string pluginKey;
    std::string apiTable;
    std::uint32_t Lookup(const std::string& name) const;
    void* Address(std::size_t, const char* function) const {
      return reinterpret_cast<void*>(static_cast<std::uintptr_t>(Lookup(function)));
    }
    bool LeadReady() const { return true; }
    void PushLead(hosts::WordList& words) const { words.PushAddress(pluginKey.c_str()); }
    static constexpr std::string_view kLeadKinds = "t";
  };
  Binding binding_;

#define ZOQ_ROWS_FILE "hosts/table/function_table/table_rows.inc"
#include "hosts/call/rows.inc"
};

}  // namespace zoq
