// The adapter of the host that hands over its API as a JSON table of
// function addresses, with a plug-in key that goes first to every function.
// (Its operations come with the host's own work; this is the object as the
// plug-in creates it.)
#pragma once
#include <string>

namespace zoq {

class TableHostApi {
 public:
  std::string pluginKey;
  std::string apiTable;

  // Replaces the kept key and table (an empty text is kept as empty).
  void InitApiTable(const std::string& key, const std::string& table) {
    pluginKey = key;
    apiTable = table;
  }
};

}  // namespace zoq
