#pragma once
// The program's texts in the user's language, for code that does not link
// Qt. The English source text is the key: it is what shows when no catalogue
// is installed (the tests, a build without translations, an English locale).
// The Qt side installs the lookup into its catalogues once at start.
//
// A text kept in a table until it is shown is marked where it is written with
// DW_TRANSLATE_NOOP(context, text), so that lupdate finds it, and translated
// with translate(context, text) where it is used. The context names the place
// the text appears ("Popover", "CommandLine"); translators see it.

#include <initializer_list>
#include <string>
#include <string_view>

#define DW_TRANSLATE_NOOP(context, text) text

namespace duskwarden::text {

// `source` in the catalogue's language, or empty when the catalogue has none.
using Lookup = std::string (*)(const char* context, const char* source);

// Called once, before any thread but the main one runs.
void installLookup(Lookup lookup);

// `source` in the user's language, or `source` itself.
std::string translate(const char* context, const char* source);

// `pattern` with %1 ... %9 replaced by `values` (the first for %1), in
// whatever order a translation puts them.
std::string arg(std::string_view pattern, std::initializer_list<std::string_view> values);

}  // namespace duskwarden::text
