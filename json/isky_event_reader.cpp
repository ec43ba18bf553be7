#include "json/isky_event_reader.hpp"

#include <exception>

namespace zoq::json {

namespace {

// A getter's answer, or `fail` when memory runs out while making the path.
template <class R, class F>
R Read(R fail, F&& get) {
  try {
    return get();
  } catch (const std::exception&) {
    return fail;
  }
}

}  // namespace

bool IskyEventReader::Load(const std::string& eventText) { return doc_.Load(eventText); }
void IskyEventReader::Clear() { doc_.Clear(); }
std::string IskyEventReader::GetText(const std::string& name) const {
  return Read(std::string{}, [&] { return doc_.GetText(PathOf(name)); });
}
int32_t IskyEventReader::GetInt(const std::string& name) const {
  return Read(int32_t{0}, [&] { return doc_.GetInt(PathOf(name)); });
}
int64_t IskyEventReader::GetInt64(const std::string& name) const {
  return Read(int64_t{0}, [&] { return doc_.GetInt64(PathOf(name)); });
}
bool IskyEventReader::GetBool(const std::string& name) const {
  return Read(false, [&] { return doc_.GetBool(PathOf(name)); });
}

}  // namespace zoq::json
