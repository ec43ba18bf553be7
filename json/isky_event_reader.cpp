#include "json/isky_event_reader.hpp"

namespace zoq::json {

bool IskyEventReader::Load(const std::string& eventText) { return doc_.Load(eventText); }
void IskyEventReader::Clear() { doc_.Clear(); }
std::string IskyEventReader::GetText(const std::string& name) const { return doc_.GetText(PathOf(name)); }
int32_t IskyEventReader::GetInt(const std::string& name) const { return doc_.GetInt(PathOf(name)); }
int64_t IskyEventReader::GetInt64(const std::string& name) const { return doc_.GetInt64(PathOf(name)); }
bool IskyEventReader::GetBool(const std::string& name) const { return doc_.GetBool(PathOf(name)); }

}  // namespace zoq::json
