#include "gnome/ColorService.h"

#include <cstring>

namespace duskwarden::provider::gnome {

std::array<SchemaKey, 5> keysOf(const ColorDesktop& d) {
  // An enum key's values are strings to GSettings.
  return {{{kEnabledKey, "b"},
           {kTemperatureKey, "u"},
           {d.automaticKey, d.automaticIsMode ? "s" : "b"},
           {kFromKey, "d"},
           {kToKey, "d"}}};
}

bool isOurKey(const ColorDesktop& desktop, const char* key) {
  for (const auto& k : keysOf(desktop))
    if (std::strcmp(k.name, key) == 0) return true;
  return false;
}

std::string schemaProblem(const ColorDesktop& desktop) {
  const char* name = desktop.schema;
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (!source) return "no GSettings schemas are installed";
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, name, TRUE);
  if (!schema) return std::string("the schema ") + name + " is not installed";
  std::string problem;
  for (const auto& k : keysOf(desktop)) {
    if (!g_settings_schema_has_key(schema, k.name)) {
      problem = std::string("the schema ") + name + " has no key " + k.name;
      break;
    }
    GSettingsSchemaKey* key = g_settings_schema_get_key(schema, k.name);
    const bool typed = g_variant_type_equal(g_settings_schema_key_get_value_type(key), G_VARIANT_TYPE(k.type));
    g_settings_schema_key_unref(key);
    if (!typed) {
      problem = std::string("the key ") + k.name + " of " + name + " is not of type " + k.type;
      break;
    }
  }
  g_settings_schema_unref(schema);
  return problem;
}

}  // namespace duskwarden::provider::gnome
