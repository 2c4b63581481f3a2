#pragma once
// The catalogues of the user's language: the program's own, from
// share/duskwarden/translations beside the executable's directory (so the
// build tree works as an installed tree does), and Qt's own for the texts of
// its dialogs and buttons. English is the source language: a user whose
// first language is English gets no catalogue even when a later one exists.

#include <QString>
#include <QStringList>

class QCoreApplication;

namespace duskwarden::translations {

// Loads the catalogues of the first of `languages` (most wanted first, as
// QLocale::system().uiLanguages() lists them) that has one, and serves the
// Qt-free code's texts from them. English first means the source texts; a
// code that names no language is passed over. The
// language loaded, empty for the source texts. Before any thread but the main
// one runs.
QString load(const QStringList& languages);

// Hands them to `app` too, for QCoreApplication::translate and Qt's own texts.
void install(QCoreApplication& app);

}  // namespace duskwarden::translations
