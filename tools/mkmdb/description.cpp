// Reads the JSON description into a Description and checks it against what the file format
// can hold, naming the table and field in every message.
#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <string_view>

#include "mkmdb/context.h"
#include "mkmdb/encoding.h"
#include "mkmdb/jetformat.h"
#include "mkmdb/mkmdb.h"

namespace zentab::mkmdb {
namespace {

using nlohmann::json;

constexpr std::size_t kMaxNameChars = 64;            // object and field names
constexpr std::size_t kMaxFields = 255;              // fields per table
constexpr std::size_t kMaxDefaultChars = 255;        // DefaultValue text
constexpr std::size_t kMaxPropertyTextChars = 2048;  // text properties (ValidationRule, ...)
constexpr std::size_t kMaxForeignNameChars = 255;    // MSysObjects.ForeignName is Text(255)
constexpr std::size_t kMaxLinkPathChars = 512;       // MSysObjects.Database / Connect, kept inline
constexpr int kDefaultTextSize = 50;
constexpr int kDefaultBinarySize = 255;
constexpr int kMaxTextSize = 255;
constexpr std::size_t kMaxIndexFields = 10;
constexpr std::size_t kMaxQueryNameChars = 255;     // MSysQueries.Name1 / Name2 are Text(255)
constexpr std::size_t kMaxExpressionChars = 65535;  // MSysQueries.Expression (memo)

struct TypeName {
  std::string_view name;
  FieldType type;
};
constexpr std::array<TypeName, 15> kTypeNames{{
    {"boolean", FieldType::kBoolean},
    {"byte", FieldType::kByte},
    {"integer", FieldType::kInteger},
    {"long", FieldType::kLong},
    {"currency", FieldType::kCurrency},
    {"single", FieldType::kSingle},
    {"double", FieldType::kDouble},
    {"datetime", FieldType::kDateTime},
    {"binary", FieldType::kBinary},
    {"text", FieldType::kText},
    {"ole", FieldType::kOle},
    {"memo", FieldType::kMemo},
    {"guid", FieldType::kGuid},
    {"decimal", FieldType::kDecimal},
    {"bigint", FieldType::kBigInt},
}};

std::string_view TypeNameOf(FieldType type) {
  for (const auto& entry : kTypeNames) {
    if (entry.type == type) return entry.name;
  }
  return "?";
}

bool FixedByDefault(FieldType type) {
  return !HasSize(type) && !IsLongValue(type);
}

// A table or field name may not repeat in another case; ASCII letters are folded, enough for
// the names descriptions use.
std::string FoldCase(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// Counts code points of well-formed UTF-8 (continuation bytes are not counted).
std::size_t CharCount(std::string_view utf8) {
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

[[noreturn]] void Fail(const std::string& context, const std::string& message) {
  throw DescriptionError(context + ": " + message);
}

// ---------------------------------------------------------------------------------------
// JSON shape

void CheckKeys(const json& object, std::initializer_list<std::string_view> known,
               const std::string& context) {
  for (const auto& item : object.items()) {
    if (std::find(known.begin(), known.end(), item.key()) == known.end()) {
      Fail(context, "unknown key " + Quoted(item.key()));
    }
  }
}

const json* Find(const json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

std::optional<std::string> GetString(const json& object, const char* key,
                                     const std::string& context) {
  const json* value = Find(object, key);
  if (!value) return std::nullopt;
  if (!value->is_string()) Fail(context, Quoted(key) + " must be a string");
  return value->get<std::string>();
}

std::optional<bool> GetBool(const json& object, const char* key, const std::string& context) {
  const json* value = Find(object, key);
  if (!value) return std::nullopt;
  if (!value->is_boolean()) Fail(context, Quoted(key) + " must be true or false");
  return value->get<bool>();
}

std::optional<std::int64_t> GetInteger(const json& object, const char* key, std::int64_t min,
                                       std::int64_t max, const std::string& context) {
  const json* value = Find(object, key);
  if (!value) return std::nullopt;
  if (!value->is_number_integer()) Fail(context, Quoted(key) + " must be an integer");
  // Unsigned values above the signed range are out of every range used here.
  if (value->is_number_unsigned() &&
      value->get<std::uint64_t>() >
          static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    Fail(context, Quoted(key) + " is out of range");
  }
  const std::int64_t number = value->get<std::int64_t>();
  if (number < min || number > max) {
    Fail(context, Quoted(key) + " is " + std::to_string(number) + ", outside " +
                      std::to_string(min) + ".." + std::to_string(max));
  }
  return number;
}

std::optional<double> GetDate(const json& object, const char* key, const std::string& context) {
  const json* value = Find(object, key);
  if (!value) return kDefaultDate;
  if (value->is_null()) return std::nullopt;
  if (!value->is_string()) Fail(context, Quoted(key) + " must be a date-time text or null");
  const auto date = ParseLocalDateTime(value->get<std::string>());
  if (!date) {
    Fail(context, Quoted(key) + " is " + Quoted(value->get<std::string>()) +
                      ", not a date-time of the form \"YYYY-MM-DD HH:MM:SS\"");
  }
  return date;
}

std::uint32_t GetFlags(const json& node, const char* key, const std::string& context) {
  return static_cast<std::uint32_t>(GetInteger(node, key, std::numeric_limits<std::int32_t>::min(),
                                               std::numeric_limits<std::uint32_t>::max(), context)
                                        .value_or(0));
}

// The array under `key`, or nothing when absent.
const json* GetArray(const json& node, const char* key, const std::string& context) {
  const json* array = Find(node, key);
  if (array && !array->is_array()) Fail(context, Quoted(key) + " must be an array");
  return array;
}

// "properties": {"Name": value}: text, true/false, an integer (Long) or another number (Double).
Properties ParseProperties(const json& object, const std::string& context) {
  Properties properties;
  const json* node = Find(object, "properties");
  if (!node) return properties;
  if (!node->is_object()) Fail(context, "\"properties\" must be a JSON object");
  for (const auto& item : node->items()) {
    const std::string propertyContext = context + ", property " + Quoted(item.key());
    const json& value = item.value();
    PropertyValue property;
    if (value.is_string()) {
      property.kind = PropertyValue::Kind::kText;
      property.text = value.get<std::string>();
    } else if (value.is_boolean()) {
      property.kind = PropertyValue::Kind::kBoolean;
      property.boolean = value.get<bool>();
    } else if (value.is_number_integer()) {
      if (value.is_number_unsigned()
              ? value.get<std::uint64_t>() > 0x7FFFFFFFu
              : (value.get<std::int64_t>() < INT32_MIN || value.get<std::int64_t>() > INT32_MAX)) {
        Fail(propertyContext, "an integer property must fit a Long (32 bits)");
      }
      property.kind = PropertyValue::Kind::kLong;
      property.integer = static_cast<std::int32_t>(value.get<std::int64_t>());
    } else if (value.is_number()) {
      property.kind = PropertyValue::Kind::kDouble;
      property.number = value.get<double>();
    } else {
      Fail(propertyContext, "must be a text, true or false, or a number");
    }
    properties.emplace_back(item.key(), std::move(property));
  }
  return properties;
}

FieldDescription ParseField(const json& node, std::size_t index, const std::string& tableContext) {
  if (!node.is_object()) Fail(FieldContext(tableContext, index, ""), "must be a JSON object");
  std::string context = FieldContext(tableContext, index, "");
  FieldDescription field;
  const auto name = GetString(node, "name", context);
  if (!name || name->empty()) Fail(context, "missing \"name\"");
  field.name = *name;
  context = FieldContext(tableContext, index, field.name);
  CheckKeys(node,
            {"name", "type", "size", "ordinal", "fixed", "autoNumber", "required",
             "allowZeroLength", "default", "hyperlink", "replication", "properties"},
            context);

  const auto typeName = GetString(node, "type", context);
  if (!typeName) Fail(context, "missing \"type\"");
  const auto type = std::find_if(kTypeNames.begin(), kTypeNames.end(),
                                 [&](const TypeName& t) { return t.name == *typeName; });
  if (type == kTypeNames.end()) Fail(context, "unknown type " + Quoted(*typeName));
  field.type = type->type;

  const auto size = GetInteger(node, "size", std::numeric_limits<int>::min(),
                               std::numeric_limits<int>::max(), context);
  if (size && !HasSize(field.type)) {
    Fail(context, "\"size\" applies to text and binary fields, not " + Quoted(*typeName));
  }
  field.size = size                               ? static_cast<int>(*size)
               : field.type == FieldType::kText   ? kDefaultTextSize
               : field.type == FieldType::kBinary ? kDefaultBinarySize
                                                  : 0;
  field.ordinal = static_cast<int>(
      GetInteger(node, "ordinal", 0, 0xFFFF, context).value_or(static_cast<std::int64_t>(index)));
  field.fixed = GetBool(node, "fixed", context).value_or(FixedByDefault(field.type));
  field.autoNumber = GetBool(node, "autoNumber", context).value_or(false);
  field.hyperlink = GetBool(node, "hyperlink", context).value_or(false);
  field.replication = GetBool(node, "replication", context).value_or(false);
  field.required = GetBool(node, "required", context);
  field.allowZeroLength = GetBool(node, "allowZeroLength", context);
  field.defaultValue = GetString(node, "default", context);
  field.properties = ParseProperties(node, context);
  return field;
}

LinkDescription ParseLink(const json& node, bool odbc, const std::string& context) {
  const std::string linkContext = context + ", " + (odbc ? "\"odbc\"" : "\"link\"");
  if (!node.is_object()) Fail(linkContext, "must be a JSON object");
  LinkDescription link;
  link.odbc = odbc;
  if (odbc) {
    CheckKeys(node, {"connect", "foreignName"}, linkContext);
    link.connect = GetString(node, "connect", linkContext).value_or("");
  } else {
    CheckKeys(node, {"database", "foreignName"}, linkContext);
    link.database = GetString(node, "database", linkContext).value_or("");
  }
  link.foreignName = GetString(node, "foreignName", linkContext).value_or("");
  return link;
}

IndexDescription ParseIndex(const json& node, std::size_t index, const std::string& tableContext) {
  std::string context = tableContext + ", index #" + std::to_string(index + 1);
  if (!node.is_object()) Fail(context, "must be a JSON object");
  IndexDescription result;
  const auto name = GetString(node, "name", context);
  if (!name || name->empty()) Fail(context, "missing \"name\"");
  result.name = *name;
  context = tableContext + ", index " + Quoted(result.name);
  CheckKeys(
      node,
      {"name", "fields", "primary", "unique", "ignoreNulls", "required", "foreign", "clustered"},
      context);
  const json* fields = GetArray(node, "fields", context);
  if (!fields) Fail(context, "missing \"fields\"");
  for (const json& field : *fields) {
    IndexColumn column;
    if (field.is_string()) {
      column.name = field.get<std::string>();
    } else if (field.is_object()) {
      CheckKeys(field, {"name", "descending"}, context);
      column.name = GetString(field, "name", context).value_or("");
      column.descending = GetBool(field, "descending", context).value_or(false);
    } else {
      Fail(context, "each of \"fields\" is a field name or {\"name\", \"descending\"}");
    }
    result.fields.push_back(std::move(column));
  }
  result.primary = GetBool(node, "primary", context).value_or(false);
  result.foreign = GetBool(node, "foreign", context).value_or(false);
  result.unique = GetBool(node, "unique", context).value_or(result.primary);
  result.required = GetBool(node, "required", context).value_or(result.primary);
  result.ignoreNulls = GetBool(node, "ignoreNulls", context).value_or(false);
  // Jet keeps no clustered index: no bit of the index entries is known to record it.
  if (GetBool(node, "clustered", context).value_or(false)) {
    Fail(context, "\"clustered\" cannot be stored: Jet files keep no clustered indexes");
  }
  return result;
}

TableDescription ParseTable(const json& node, std::size_t index) {
  std::string context = TableContext(index, "");
  if (!node.is_object()) Fail(context, "must be a JSON object");
  TableDescription table;
  const auto name = GetString(node, "name", context);
  if (!name || name->empty()) Fail(context, "missing \"name\"");
  table.name = *name;
  context = TableContext(index, table.name);
  CheckKeys(node,
            {"name", "created", "updated", "flags", "rows", "fields", "link", "odbc", "properties",
             "indexes"},
            context);
  table.created = GetDate(node, "created", context);
  table.updated = GetDate(node, "updated", context);
  table.flags = GetFlags(node, "flags", context);

  const json* link = Find(node, "link");
  const json* odbc = Find(node, "odbc");
  if (link && odbc) Fail(context, "a table has either \"link\" or \"odbc\", not both");
  if (link || odbc) {
    if (Find(node, "fields") || Find(node, "rows") || Find(node, "indexes")) {
      Fail(context, "a linked table has no \"fields\", \"rows\" or \"indexes\" of its own");
    }
    table.properties = ParseProperties(node, context);
    table.link = ParseLink(link ? *link : *odbc, odbc != nullptr, context);
    return table;
  }

  table.properties = ParseProperties(node, context);
  table.rows = static_cast<std::uint64_t>(
      GetInteger(node, "rows", 0, std::numeric_limits<std::uint32_t>::max(), context).value_or(0));
  const json* fields = Find(node, "fields");
  if (!fields) Fail(context, "missing \"fields\"");
  if (!fields->is_array()) Fail(context, "\"fields\" must be an array");
  for (std::size_t i = 0; i < fields->size(); ++i) {
    table.fields.push_back(ParseField((*fields)[i], i, context));
  }
  if (const json* indexes = GetArray(node, "indexes", context)) {
    for (std::size_t i = 0; i < indexes->size(); ++i) {
      table.indexes.push_back(ParseIndex((*indexes)[i], i, context));
    }
  }
  return table;
}

ObjectDescription ParseObject(const json& node, std::size_t index) {
  std::string context = "object #" + std::to_string(index + 1);
  if (!node.is_object()) Fail(context, "must be a JSON object");
  ObjectDescription object;
  const auto name = GetString(node, "name", context);
  if (!name || name->empty()) Fail(context, "missing \"name\"");
  object.name = *name;
  context = "object " + Quoted(object.name);
  CheckKeys(node, {"kind", "name", "created", "updated", "flags"}, context);
  const auto kind = GetString(node, "kind", context);
  if (!kind) Fail(context, "missing \"kind\"");
  if (*kind == "form") {
    object.kind = ObjectDescription::Kind::kForm;
  } else if (*kind == "report") {
    object.kind = ObjectDescription::Kind::kReport;
  } else if (*kind == "macro") {
    object.kind = ObjectDescription::Kind::kMacro;
  } else if (*kind == "module") {
    object.kind = ObjectDescription::Kind::kModule;
  } else {
    Fail(context,
         "\"kind\" is " + Quoted(*kind) + ", not \"form\", \"report\", \"macro\" or \"module\"");
  }
  object.created = GetDate(node, "created", context);
  object.updated = GetDate(node, "updated", context);
  object.flags = GetFlags(node, "flags", context);
  return object;
}

RelationshipDescription ParseRelationship(const json& node, std::size_t index) {
  std::string context = "relationship #" + std::to_string(index + 1);
  if (!node.is_object()) Fail(context, "must be a JSON object");
  RelationshipDescription relationship;
  const auto name = GetString(node, "name", context);
  if (!name || name->empty()) Fail(context, "missing \"name\"");
  relationship.name = *name;
  context = "relationship " + Quoted(relationship.name);
  CheckKeys(node, {"name", "table", "foreignTable", "attributes", "fields"}, context);
  relationship.table = GetString(node, "table", context).value_or("");
  relationship.foreignTable = GetString(node, "foreignTable", context).value_or("");
  relationship.attributes = GetFlags(node, "attributes", context);
  const json* fields = GetArray(node, "fields", context);
  if (!fields) Fail(context, "missing \"fields\"");
  for (const json& field : *fields) {
    if (!field.is_object()) Fail(context, "each of \"fields\" is {\"name\", \"foreignName\"}");
    CheckKeys(field, {"name", "foreignName"}, context);
    relationship.fields.push_back({GetString(field, "name", context).value_or(""),
                                   GetString(field, "foreignName", context).value_or("")});
  }
  return relationship;
}

std::optional<std::string> GetNullableString(const json& object, const char* key,
                                             const std::string& context) {
  const json* value = Find(object, key);
  if (!value || value->is_null()) return std::nullopt;
  return GetString(object, key, context);
}

// "order": hexadecimal digits, two per byte.
std::optional<std::string> GetHexBytes(const json& object, const char* key,
                                       const std::string& context) {
  const auto text = GetNullableString(object, key, context);
  if (!text) return std::nullopt;
  auto digit = [&](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    Fail(context, Quoted(key) + " must be hexadecimal digits, two per byte");
  };
  if (text->size() % 2 != 0)
    Fail(context, Quoted(key) + " must be hexadecimal digits, two per byte");
  std::string bytes;
  for (std::size_t i = 0; i < text->size(); i += 2) {
    bytes.push_back(static_cast<char>(digit((*text)[i]) * 16 + digit((*text)[i + 1])));
  }
  return bytes;
}

QueryDescription ParseQuery(const json& node, std::size_t index) {
  std::string context = "query #" + std::to_string(index + 1);
  if (!node.is_object()) Fail(context, "must be a JSON object");
  QueryDescription query;
  const auto name = GetString(node, "name", context);
  if (!name || name->empty()) Fail(context, "missing \"name\"");
  query.name = *name;
  context = "query " + Quoted(query.name);
  CheckKeys(node, {"name", "created", "updated", "flags", "properties", "rows"}, context);
  query.created = GetDate(node, "created", context);
  query.updated = GetDate(node, "updated", context);
  query.flags = GetFlags(node, "flags", context);
  query.properties = ParseProperties(node, context);
  const json* rows = GetArray(node, "rows", context);
  if (!rows) return query;
  for (std::size_t r = 0; r < rows->size(); ++r) {
    const json& row = (*rows)[r];
    const std::string rowContext = context + ", row #" + std::to_string(r + 1);
    if (!row.is_object()) Fail(rowContext, "must be a JSON object");
    CheckKeys(row, {"attribute", "expression", "flag", "name1", "name2", "order", "lvExtra"},
              rowContext);
    QueryRow result;
    const auto attribute = GetInteger(row, "attribute", 0, 255, rowContext);
    if (!attribute) Fail(rowContext, "missing \"attribute\"");
    result.attribute = static_cast<int>(*attribute);
    result.expression = GetNullableString(row, "expression", rowContext);
    result.name1 = GetNullableString(row, "name1", rowContext);
    result.name2 = GetNullableString(row, "name2", rowContext);
    result.order = GetHexBytes(row, "order", rowContext);
    const json* flag = Find(row, "flag");
    if (flag && !flag->is_null()) {
      result.flag = static_cast<int>(*GetInteger(row, "flag", -32768, 65535, rowContext));
    }
    const json* lvExtra = Find(row, "lvExtra");
    if (lvExtra && !lvExtra->is_null()) {
      result.lvExtra = static_cast<std::int32_t>(
          *GetInteger(row, "lvExtra", std::numeric_limits<std::int32_t>::min(),
                      std::numeric_limits<std::int32_t>::max(), rowContext));
    }
    query.rows.push_back(std::move(result));
  }
  return query;
}

// ---------------------------------------------------------------------------------------
// What the file format can hold

void CheckName(const std::string& name, const TextEncoder& encoder, const std::string& context) {
  if (name.empty()) Fail(context, "missing \"name\"");
  if (CharCount(name) > kMaxNameChars) {
    Fail(context, "name is longer than " + std::to_string(kMaxNameChars) + " characters");
  }
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) Fail(context, "name holds a control character");
  }
  try {
    encoder.Encode(name);
  } catch (const EncodingError& e) {
    Fail(context, std::string("name: ") + e.what());
  }
}

void CheckText(const std::string& text, std::size_t maxChars, const char* what,
               const TextEncoder& encoder, const std::string& context) {
  if (CharCount(text) > maxChars) {
    Fail(context,
         std::string(what) + " is longer than " + std::to_string(maxChars) + " characters");
  }
  try {
    encoder.Encode(text);
  } catch (const EncodingError& e) {
    Fail(context, std::string(what) + ": " + e.what());
  }
}

// Property names follow the rules of object names; the shortcut keys of a field count as the
// properties they write.
void CheckProperties(const Properties& properties, std::set<std::string> names,
                     const TextEncoder& encoder, const std::string& context) {
  for (const auto& [name, value] : properties) {
    const std::string propertyContext = context + ", property " + Quoted(name);
    CheckName(name, encoder, propertyContext);
    if (!names.insert(FoldCase(name)).second) Fail(propertyContext, "duplicate property name");
    if (value.kind == PropertyValue::Kind::kText) {
      CheckText(value.text, kMaxPropertyTextChars, "the value", encoder, propertyContext);
    }
  }
}

void CheckField(const FieldDescription& field, const TextEncoder& encoder,
                const std::string& context) {
  const std::string type(TypeNameOf(field.type));
  if (type == "?") Fail(context, "unknown type code " + std::to_string(int(field.type)));
  CheckName(field.name, encoder, context);
  if (HasSize(field.type)) {
    if (field.size < 1 || field.size > kMaxTextSize) {
      Fail(context, type + " size " + std::to_string(field.size) + " is outside 1.." +
                        std::to_string(kMaxTextSize));
    }
  } else if (field.size != 0) {
    Fail(context, "\"size\" applies to text and binary fields, not " + Quoted(type));
  }
  if (field.ordinal < 0 || field.ordinal > 0xFFFF) {
    Fail(context, "\"ordinal\" " + std::to_string(field.ordinal) + " is outside 0..65535");
  }
  if (field.type == FieldType::kBoolean && !field.fixed) {
    Fail(context, "a boolean field is always fixed");
  }
  if (IsLongValue(field.type) && field.fixed) Fail(context, "a " + type + " field cannot be fixed");
  if (field.autoNumber && field.type != FieldType::kLong && field.type != FieldType::kGuid) {
    Fail(context, "\"autoNumber\" applies to long and guid fields, not " + Quoted(type));
  }
  if (field.hyperlink && field.type != FieldType::kMemo) {
    Fail(context, "\"hyperlink\" applies to memo fields, not " + Quoted(type));
  }
  if (field.defaultValue) {
    CheckText(*field.defaultValue, kMaxDefaultChars, "\"default\"", encoder, context);
  }
  std::set<std::string> shortcuts;
  if (field.required) shortcuts.insert(FoldCase("Required"));
  if (field.allowZeroLength) shortcuts.insert(FoldCase("AllowZeroLength"));
  if (field.defaultValue) shortcuts.insert(FoldCase("DefaultValue"));
  CheckProperties(field.properties, shortcuts, encoder, context);
}

void CheckIndexes(const TableDescription& table, const TextEncoder& encoder,
                  const std::string& tableContext) {
  std::set<std::string> names;
  bool primary = false;
  for (const IndexDescription& index : table.indexes) {
    const std::string context = tableContext + ", index " + Quoted(index.name);
    CheckName(index.name, encoder, context);
    if (!names.insert(FoldCase(index.name)).second) Fail(context, "duplicate index name");
    if (index.fields.empty() || index.fields.size() > kMaxIndexFields) {
      Fail(context, "an index has 1 to " + std::to_string(kMaxIndexFields) + " fields");
    }
    std::set<std::string> used;
    for (const IndexColumn& column : index.fields) {
      const auto field = std::find_if(
          table.fields.begin(), table.fields.end(),
          [&](const FieldDescription& f) { return FoldCase(f.name) == FoldCase(column.name); });
      if (field == table.fields.end()) Fail(context, "no field " + Quoted(column.name));
      if (IsLongValue(field->type)) {
        Fail(context, "field " + Quoted(column.name) + " is a " +
                          std::string(TypeNameOf(field->type)) + " field, which cannot be indexed");
      }
      if (!used.insert(FoldCase(column.name)).second) {
        Fail(context, "field " + Quoted(column.name) + " appears twice");
      }
    }
    if (index.primary && index.foreign) Fail(context, "an index is primary or foreign, not both");
    if (index.primary && primary) Fail(context, "a table has one primary key");
    primary = primary || index.primary;
  }
}

void CheckLink(const LinkDescription& link, const TextEncoder& encoder,
               const std::string& context) {
  if (link.foreignName.empty()) Fail(context, "a linked table needs \"foreignName\"");
  CheckText(link.foreignName, kMaxForeignNameChars, "\"foreignName\"", encoder, context);
  if (link.odbc) {
    if (link.connect.empty()) Fail(context, "an ODBC link needs \"connect\"");
    CheckText(link.connect, kMaxLinkPathChars, "\"connect\"", encoder, context);
  } else {
    if (link.database.empty()) Fail(context, "a link needs \"database\"");
    CheckText(link.database, kMaxLinkPathChars, "\"database\"", encoder, context);
  }
}

}  // namespace

void ValidateDescription(const Description& description) {
  if (description.codePage < 1 || description.codePage > 0xFFFF) {
    Fail("description",
         "codePage " + std::to_string(description.codePage) + " is outside 1..65535");
  }
  const TextEncoder encoder(description.format, description.codePage);
  const JetFormat& format = JetFormat::For(description.format);
  try {
    if (encoder.Encode(description.password).size() > format.passwordBytes) {
      Fail("description", "\"password\" is longer than the header's " +
                              std::to_string(format.passwordBytes) + " bytes");
    }
  } catch (const EncodingError& e) {
    Fail("description", std::string("\"password\": ") + e.what());
  }

  // Generated text values are digits padded with spaces, a byte each in a Jet 3 code page.
  if (description.format == JetVersion::kJet3 && encoder.Encode("0123456789 ").size() != 11) {
    Fail("description", "codePage " + std::to_string(description.codePage) +
                            " does not store digits and spaces in one byte each");
  }

  // MSysObjects is written by the writer itself.
  std::set<std::string> tableNames{FoldCase("MSysObjects")};
  for (std::size_t t = 0; t < description.tables.size(); ++t) {
    const TableDescription& table = description.tables[t];
    const std::string context = TableContext(t, table.name);
    CheckName(table.name, encoder, context);
    if (!tableNames.insert(FoldCase(table.name)).second) {
      Fail(context, "duplicate table name");
    }
    if (table.link) {
      if (!table.fields.empty() || table.rows != 0 || !table.indexes.empty()) {
        Fail(context, "a linked table has no fields or rows of its own");
      }
      CheckLink(*table.link, encoder, context);
      CheckProperties(table.properties, {}, encoder, context);
      continue;
    }
    if (table.fields.empty()) Fail(context, "a table needs at least one field");
    if (table.fields.size() > kMaxFields) {
      Fail(context, "has " + std::to_string(table.fields.size()) + " fields, more than " +
                        std::to_string(kMaxFields));
    }
    if (table.rows > std::numeric_limits<std::uint32_t>::max()) {
      Fail(context, "\"rows\" is more than a table definition can count");
    }
    CheckProperties(table.properties, {}, encoder, context);
    std::set<std::string> fieldNames;
    for (std::size_t f = 0; f < table.fields.size(); ++f) {
      const FieldDescription& field = table.fields[f];
      const std::string fieldContext = FieldContext(context, f, field.name);
      CheckField(field, encoder, fieldContext);
      if (!fieldNames.insert(FoldCase(field.name)).second) {
        Fail(fieldContext, "duplicate field name");
      }
    }
    CheckIndexes(table, encoder, context);
  }
  // Queries share the Tables container with the tables.
  for (const QueryDescription& query : description.queries) {
    const std::string context = "query " + Quoted(query.name);
    CheckName(query.name, encoder, context);
    if (!tableNames.insert(FoldCase(query.name)).second) {
      Fail(context, "duplicate name among tables and queries");
    }
    CheckProperties(query.properties, {}, encoder, context);
    for (std::size_t r = 0; r < query.rows.size(); ++r) {
      const QueryRow& row = query.rows[r];
      const std::string rowContext = context + ", row #" + std::to_string(r + 1);
      if (row.attribute < 0 || row.attribute > 255) Fail(rowContext, "\"attribute\" is 0..255");
      if (row.flag && (*row.flag < -32768 || *row.flag > 65535)) {
        Fail(rowContext, "\"flag\" is a 16-bit integer");
      }
      if (row.lvExtra && format.jet3) Fail(rowContext, "Jet 3 MSysQueries has no LvExtra");
      if (row.name1) CheckText(*row.name1, kMaxQueryNameChars, "\"name1\"", encoder, rowContext);
      if (row.name2) CheckText(*row.name2, kMaxQueryNameChars, "\"name2\"", encoder, rowContext);
      if (row.expression) {
        CheckText(*row.expression, kMaxExpressionChars, "\"expression\"", encoder, rowContext);
      }
      if (row.order && row.order->size() > kMaxTextSize * format.textUnitBytes) {
        Fail(rowContext, "\"order\" is longer than " +
                             std::to_string(kMaxTextSize * format.textUnitBytes) + " bytes");
      }
    }
  }

  std::set<std::string> relationshipNames;
  for (const RelationshipDescription& relationship : description.relationships) {
    const std::string context = "relationship " + Quoted(relationship.name);
    CheckName(relationship.name, encoder, context);
    if (!relationshipNames.insert(FoldCase(relationship.name)).second) {
      Fail(context, "duplicate relationship name");
    }
    const TableDescription* sides[2] = {nullptr, nullptr};
    const std::string* names[2] = {&relationship.table, &relationship.foreignTable};
    for (int side = 0; side < 2; ++side) {
      for (const TableDescription& table : description.tables) {
        if (FoldCase(table.name) == FoldCase(*names[side])) sides[side] = &table;
      }
      if (!sides[side]) {
        Fail(context, std::string(side ? "\"foreignTable\"" : "\"table\"") + " " +
                          Quoted(*names[side]) + " is not a table of the description");
      }
    }
    if (relationship.fields.empty()) Fail(context, "a relationship needs at least one field pair");
    for (const RelationshipColumn& pair : relationship.fields) {
      const std::string* columns[2] = {&pair.name, &pair.foreignName};
      for (int side = 0; side < 2; ++side) {
        const TableDescription& table = *sides[side];
        const bool found =
            table.link ||
            std::any_of(table.fields.begin(), table.fields.end(), [&](const FieldDescription& f) {
              return FoldCase(f.name) == FoldCase(*columns[side]);
            });
        if (columns[side]->empty() || !found) {
          Fail(context, "no field " + Quoted(*columns[side]) + " in table " + Quoted(table.name));
        }
      }
    }
  }

  // Names are unique within each container.
  std::set<std::pair<int, std::string>> objectNames;
  for (const ObjectDescription& object : description.objects) {
    const std::string context = "object " + Quoted(object.name);
    CheckName(object.name, encoder, context);
    if (!objectNames.insert({static_cast<int>(object.kind), FoldCase(object.name)}).second) {
      Fail(context, "duplicate name among objects of its kind");
    }
  }
}

Description ParseDescription(const std::string& jsonText) {
  json root;
  try {
    root = json::parse(jsonText);
  } catch (const json::parse_error& e) {
    throw DescriptionError(std::string("description is not valid JSON: ") + e.what());
  }
  if (!root.is_object()) Fail("description", "the top level must be a JSON object");
  CheckKeys(root,
            {"format", "codePage", "password", "tables", "objects", "relationships", "queries"},
            "description");

  Description description;
  const auto format = GetString(root, "format", "description").value_or("jet4");
  if (format == "jet4") {
    description.format = JetVersion::kJet4;
  } else if (format == "jet3") {
    description.format = JetVersion::kJet3;
  } else {
    Fail("description", "\"format\" is " + Quoted(format) + ", not \"jet3\" or \"jet4\"");
  }
  description.codePage =
      static_cast<int>(GetInteger(root, "codePage", 1, 0xFFFF, "description").value_or(1252));
  description.password = GetString(root, "password", "description").value_or("");
  const json* tables = Find(root, "tables");
  if (!tables) Fail("description", "missing \"tables\"");
  if (!tables->is_array()) Fail("description", "\"tables\" must be an array");
  for (std::size_t i = 0; i < tables->size(); ++i) {
    description.tables.push_back(ParseTable((*tables)[i], i));
  }
  if (const json* objects = GetArray(root, "objects", "description")) {
    for (std::size_t i = 0; i < objects->size(); ++i) {
      description.objects.push_back(ParseObject((*objects)[i], i));
    }
  }
  if (const json* relationships = GetArray(root, "relationships", "description")) {
    for (std::size_t i = 0; i < relationships->size(); ++i) {
      description.relationships.push_back(ParseRelationship((*relationships)[i], i));
    }
  }
  if (const json* queries = GetArray(root, "queries", "description")) {
    for (std::size_t i = 0; i < queries->size(); ++i) {
      description.queries.push_back(ParseQuery((*queries)[i], i));
    }
  }
  ValidateDescription(description);
  return description;
}

}  // namespace zentab::mkmdb
