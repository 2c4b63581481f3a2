#include "app/Translations.h"

#include "base/loader/Executable.h"
#include "platform/text/Text.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace duskwarden::translations {

namespace {

QString loaded;  // the language of ours() and qts(); empty: the source texts

QTranslator& ours() {
  static QTranslator translator;
  return translator;
}

QTranslator& qts() {
  static QTranslator translator;
  return translator;
}

QString ourDirectory() {
  const auto directory = loader::besideExecutable(DW_TRANSLATIONS_RELDIR);
  return directory ? QString::fromStdString(directory->string()) : QString();
}

std::string lookup(const char* context, const char* source) { return ours().translate(context, source).toStdString(); }

}  // namespace

QString load(const QStringList& languages) {
  text::installLookup(nullptr);
  loaded.clear();
  const QString directory = ourDirectory();
  for (const QString& language : languages) {
    // The source texts are English.
    if (language.startsWith(QLatin1String("en"))) break;
    // An unknown code (and the "C" Qt lists after one, or for an unset
    // locale) names no language: the search goes on, as gettext's does.
    const QLocale locale(language);
    if (locale.language() == QLocale::C) continue;
    if (!ours().load(locale, QStringLiteral("duskwarden"), QStringLiteral("_"), directory)) continue;
    // Qt's "OK" and "Cancel" in the same language, where Qt ships it.
    (void)qts().load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    text::installLookup(lookup);
    loaded = language;
    return language;
  }
  return {};
}

void install(QCoreApplication& app) {
  if (loaded.isEmpty()) return;
  app.installTranslator(&ours());
  if (!qts().isEmpty()) app.installTranslator(&qts());
}

}  // namespace duskwarden::translations
