// Display texts for field types and for field and table attribute bits.
#pragma once

#include <cstdint>
#include <string>

namespace zentab {

std::string FieldAttributesText(std::int32_t attributes);
std::string TableAttributesText(std::int32_t attributes);
std::string FieldTypeName(std::int32_t typeCode);

}  // namespace zentab
