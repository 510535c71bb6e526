// JSON encoding of requests, responses and snapshots, and blocking frame I/O.
#include "engine/wire.h"

#include <unistd.h>

#include <cerrno>
#include <nlohmann/json.hpp>

namespace zentab::engine {
namespace {

using nlohmann::json;

std::string Dump(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

json Parse(std::string_view text) {
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) throw WireError("the message is not a JSON object");
  auto version = j.find("version");
  if (version == j.end() || !version->is_number_integer() || *version != kWireVersion) {
    throw WireError("the message is not of version " + std::to_string(kWireVersion));
  }
  return j;
}

json EncodeVariant(const Variant& v) {
  if (v.IsNull()) return json{{"null", true}};
  if (v.IsBool()) return json{{"bool", v.AsBool()}};
  if (v.IsInt()) return json{{"int", v.AsInt()}};
  if (v.IsDate()) return json{{"date", v.AsDate()}};
  if (v.IsString()) return json{{"string", v.AsString()}};
  if (v.IsEmpty()) return json::object();
  throw WireError("an object cannot be sent as a property value");
}

Variant DecodeVariant(const json& j) {
  if (!j.is_object()) throw WireError("a property value is not an object");
  if (j.contains("null")) return Variant::MakeNull();
  if (auto it = j.find("bool"); it != j.end() && it->is_boolean()) return Variant(it->get<bool>());
  if (auto it = j.find("int"); it != j.end() && it->is_number_integer()) {
    auto value = it->get<std::int64_t>();
    if (value < INT32_MIN || value > INT32_MAX)
      throw WireError("an integer property is out of range");
    return Variant(static_cast<std::int32_t>(value));
  }
  if (auto it = j.find("date"); it != j.end() && it->is_number()) {
    return Variant(Variant::Date{it->get<double>()});
  }
  if (auto it = j.find("string"); it != j.end() && it->is_string()) {
    return Variant(it->get<std::string>());
  }
  if (j.empty()) return Variant();
  throw WireError("a property value has no known kind");
}

json EncodeProperties(const PropertySet& set) {
  json out = json::array();
  for (const auto& [name, read] : set.Items()) {
    json item{{"name", name}};
    if (read.error) {
      item["error"] = *read.error;
    } else {
      item["value"] = EncodeVariant(read.value);
    }
    out.push_back(std::move(item));
  }
  return out;
}

PropertySet DecodeProperties(const json& j) {
  if (!j.is_array()) throw WireError("properties are not a list");
  PropertySet set;
  for (const auto& item : j) {
    if (!item.is_object() || !item.contains("name") || !item["name"].is_string()) {
      throw WireError("a property has no name");
    }
    std::string name = item["name"].get<std::string>();
    if (auto error = item.find("error"); error != item.end() && error->is_string()) {
      set.Fail(std::move(name), error->get<std::string>());
    } else if (auto value = item.find("value"); value != item.end()) {
      set.Set(std::move(name), DecodeVariant(*value));
    } else {
      throw WireError("property " + name + " has neither a value nor an error");
    }
  }
  return set;
}

std::optional<std::string> OptionalString(const json& j, const char* key) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) throw WireError(std::string(key) + " is not a string");
  return it->get<std::string>();
}

json SnapshotJson(const DatabaseSnapshot& snapshot) {
  json tables = json::array();
  for (const auto& table : snapshot.tables) {
    json fields = json::array();
    for (const auto& field : table.fields) fields.push_back(EncodeProperties(field.properties));
    json t{{"properties", EncodeProperties(table.properties)}, {"fields", std::move(fields)}};
    if (table.fieldsError) t["fieldsError"] = *table.fieldsError;
    tables.push_back(std::move(t));
  }
  json out{{"version", kWireVersion}, {"tables", std::move(tables)}};
  if (snapshot.tablesError) out["tablesError"] = *snapshot.tablesError;
  if (snapshot.closeError) out["closeError"] = *snapshot.closeError;
  return out;
}

DatabaseSnapshot SnapshotFromJson(const json& j) {
  if (!j.is_object()) throw WireError("the snapshot is not an object");
  DatabaseSnapshot snapshot;
  auto tables = j.find("tables");
  if (tables == j.end() || !tables->is_array()) throw WireError("the snapshot has no table list");
  for (const auto& t : *tables) {
    if (!t.is_object()) throw WireError("a table is not an object");
    TableSnapshot table;
    table.properties = DecodeProperties(t.value("properties", json::array()));
    auto fields = t.find("fields");
    if (fields == t.end() || !fields->is_array()) throw WireError("a table has no field list");
    for (const auto& f : *fields) table.fields.push_back(FieldSnapshot{DecodeProperties(f)});
    table.fieldsError = OptionalString(t, "fieldsError");
    snapshot.tables.push_back(std::move(table));
  }
  snapshot.tablesError = OptionalString(j, "tablesError");
  snapshot.closeError = OptionalString(j, "closeError");
  return snapshot;
}

}  // namespace

std::string EncodeRequest(const std::string& path) {
  return Dump(json{{"version", kWireVersion}, {"read", path}});
}

std::string DecodeRequest(std::string_view message) {
  json j = Parse(message);
  auto path = j.find("read");
  if (path == j.end() || !path->is_string()) throw WireError("the request names no file");
  return path->get<std::string>();
}

std::string EncodeResponse(const ReadResponse& response) {
  json j{{"version", kWireVersion}};
  if (response.snapshot) {
    j["snapshot"] = SnapshotJson(*response.snapshot);
  } else {
    j["error"] = response.error;
  }
  return Dump(j);
}

ReadResponse DecodeResponse(std::string_view message) {
  json j = Parse(message);
  ReadResponse response;
  if (auto snapshot = j.find("snapshot"); snapshot != j.end()) {
    response.snapshot = SnapshotFromJson(*snapshot);
  } else if (auto error = j.find("error"); error != j.end() && error->is_string()) {
    response.error = error->get<std::string>();
  } else {
    throw WireError("the response holds neither a snapshot nor an error");
  }
  return response;
}

std::string EncodeSnapshot(const DatabaseSnapshot& snapshot) {
  return Dump(SnapshotJson(snapshot));
}

DatabaseSnapshot DecodeSnapshot(std::string_view text) {
  return SnapshotFromJson(Parse(text));
}

std::string FramePrefix(std::size_t size) {
  if (size > kMaxFrameBytes)
    throw WireError("a message of " + std::to_string(size) + " bytes is too long");
  std::string prefix(4, '\0');
  for (int i = 0; i < 4; ++i) prefix[i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  return prefix;
}

std::uint32_t FrameLength(const unsigned char prefix[4]) {
  std::uint32_t n = prefix[0] | (prefix[1] << 8) | (prefix[2] << 16) |
                    (static_cast<std::uint32_t>(prefix[3]) << 24);
  if (n > kMaxFrameBytes) throw WireError("a frame announces " + std::to_string(n) + " bytes");
  return n;
}

std::optional<std::string> ReadFrame(int fd) {
  auto readExactly = [fd](char* out, std::size_t n) -> std::size_t {
    std::size_t got = 0;
    while (got < n) {
      ssize_t r = ::read(fd, out + got, n - got);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) throw WireError("reading a frame failed");
      if (r == 0) break;
      got += static_cast<std::size_t>(r);
    }
    return got;
  };
  unsigned char prefix[4];
  std::size_t got = readExactly(reinterpret_cast<char*>(prefix), 4);
  if (got == 0) return std::nullopt;
  if (got < 4) throw WireError("the stream ended inside a frame");
  std::string payload(FrameLength(prefix), '\0');
  if (readExactly(payload.data(), payload.size()) < payload.size()) {
    throw WireError("the stream ended inside a frame");
  }
  return payload;
}

void WriteFrame(int fd, std::string_view payload) {
  std::string data = FramePrefix(payload.size());
  data.append(payload);
  std::size_t sent = 0;
  while (sent < data.size()) {
    ssize_t w = ::write(fd, data.data() + sent, data.size() - sent);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw WireError("writing a frame failed");
    sent += static_cast<std::size_t>(w);
  }
}

}  // namespace zentab::engine
