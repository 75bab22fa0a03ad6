// Named character references of element texts and attribute values.
#pragma once

// The character of the entity name (without "&" and ";"), compared without regard to case;
// 0 when the name is not an entity.
char32_t LookupXmlEntity(const char* name);
