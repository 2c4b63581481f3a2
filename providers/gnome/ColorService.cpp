#include "gnome/ColorService.h"

#include <cstring>

namespace duskwarden::provider::gnome {

bool isOurKey(const char* key) {
  for (const auto& k : kKeys)
    if (std::strcmp(k.name, key) == 0) return true;
  return false;
}

std::string schemaProblem() {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return "no GSettings schemas are installed";
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, kSchema, TRUE);
  if (!schema) return std::string("the schema ") + kSchema + " is not installed";
  std::string problem;
  for (const auto& k : kKeys) {
    if (!g_settings_schema_has_key(schema, k.name)) {
      problem = std::string("the schema ") + kSchema + " has no key " + k.name;
      break;
    }
    GSettingsSchemaKey* key = g_settings_schema_get_key(schema, k.name);
    const bool typed = g_variant_type_equal(g_settings_schema_key_get_value_type(key), G_VARIANT_TYPE(k.type));
    g_settings_schema_key_unref(key);
    if (!typed) {
      problem = std::string("the key ") + k.name + " of " + kSchema + " is not of type " + k.type;
      break;
    }
  }
  g_settings_schema_unref(schema);
  return problem;
}

bool boolIn(GVariant* dictionary, const char* name, bool* value) {
  GVariant* v = g_variant_lookup_value(dictionary, name, G_VARIANT_TYPE_BOOLEAN);
  if (!v) return false;
  *value = g_variant_get_boolean(v);
  g_variant_unref(v);
  return true;
}


bool has(GVariant* dictionary, const char* key) {
  GVariant* value = g_variant_lookup_value(dictionary, key, nullptr);
  if (value) g_variant_unref(value);
  return value != nullptr;
}

}  // namespace duskwarden::provider::gnome
